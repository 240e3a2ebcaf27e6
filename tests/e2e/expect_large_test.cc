// keyscript-expect on the largest scripts the tests ask for: 40 million keys
// a pass, written by the built keyscript into a file. Slow under sanitizers
// and emulators, so CTest labels it "large". Both programs start through
// e2e::run, so a cross build runs them under its emulator as it runs the
// test itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "../replay/reference_replay.h"
#include "process.h"

namespace {

TEST(ExpectLarge, FortyMillionKeysMatchTheModel) {
  const e2e::run_result written = e2e::run({.args = {"40000000"}, .seed = "20261209"});
  ASSERT_EQ(written.status, 0) << written.err;
  const std::string& script = written.out;
  ASSERT_GT(script.size(), 400000000U);
  char path[] = "/tmp/keyscript_large_XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  close(file);
  {
    std::ofstream copy(path, std::ios::binary);
    copy << script;
    ASSERT_TRUE(copy.flush()) << "cannot write " << path;
  }
  // Set semantics with the keys listed (32768 at most a checkpoint), and a
  // multiset without (its listing would run to hundreds of millions of lines).
  for (const bool multiset : {false, true}) {
    const e2e::run_result got = e2e::run({.args = {multiset ? "--multiset" : "--keys", path},
                                          .argv0 = KEYSCRIPT_EXPECT_BINARY,
                                          .binary = KEYSCRIPT_EXPECT_BINARY});
    const reference::replay_result want = reference::replay(script, multiset, !multiset);
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_TRUE(got.out == want.out) << "multiset " << multiset << ":\n" << got.out.substr(0, 400);
  }
  std::remove(path);
}

}  // namespace
