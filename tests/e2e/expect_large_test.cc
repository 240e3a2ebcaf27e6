// keyscript-expect on the largest scripts the tests ask for: 40 million keys
// a pass, written by the built keyscript into a file. Slow under sanitizers
// and emulators, so CTest labels it "large".
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "../replay/reference_replay.h"
#include "process.h"

namespace {

TEST(ExpectLarge, FortyMillionKeysMatchTheModel) {
  char path[] = "/tmp/keyscript_large_XXXXXX";
  close(mkstemp(path));
  const std::string command =
      std::string("KEYSCRIPT_SEED=20261209 ") + KEYSCRIPT_BINARY + " 40000000 2>/dev/null > " + path;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  const std::string script = text.str();
  ASSERT_GT(script.size(), 400000000U);
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
