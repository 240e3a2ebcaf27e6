#include "check/failure_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

namespace keyscript {
namespace {

TEST(FailureStore, AProgramIsWhatWouldRunAndKeepsEachScriptOnce) {
  char name[] = "/tmp/keyscript_store_XXXXXX";
  const std::string root = mkdtemp(name);
  // sh found on PATH, and through its links, is the file a run would start.
  const program_identity sh = identify_program({"sh", "-c", "cat"}, semantics::set);
  char resolved[PATH_MAX];
  ASSERT_NE(realpath("/bin/sh", resolved), nullptr);
  EXPECT_EQ(sh.file, resolved);
  EXPECT_EQ(identify_program({resolved, "-c", "cat"}, semantics::set).file, sh.file);
  // Another argument, another folder, or copies kept: another program.
  std::set<std::string> folders;
  for (const program_identity& program : {sh, identify_program({"sh", "-c", "tac"}, semantics::set),
                                          identify_program({"sh", "-c", "cat"}, semantics::multiset),
                                          program_identity{sh.file, sh.arguments, "/elsewhere", semantics::set}}) {
    folders.insert(failure_store(root, program).folder());
  }
  EXPECT_EQ(folders.size(), 4U);

  const failure_store store(root, sh);
  EXPECT_TRUE(store.kept().empty());
  std::string first;
  std::string again;
  std::string other;
  ASSERT_EQ(store.keep(parse_script("i\n5\n-1\nq\n").value, first).error, 0);
  ASSERT_EQ(store.keep(parse_script("i\n5\n-1\nq\n").value, again).error, 0);
  ASSERT_EQ(store.keep(parse_script("d 0\nq\n").value, other).error, 0);
  EXPECT_EQ(first, again);
  EXPECT_EQ(store.kept().size(), 2U);
  failure_store::drop(first);
  ASSERT_EQ(store.kept().size(), 1U);
  EXPECT_EQ(store.kept().front(), other);
  (void)!std::system(("rm -rf '" + root + "'").c_str());
}

}  // namespace
}  // namespace keyscript
