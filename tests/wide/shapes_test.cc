// The table of shapes: what --shape takes, --help shows and the docs
// describe, kept to one list.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "../capture.h"
#include "wide/shape.h"

namespace keyscript {
namespace {

TEST(Shapes, EveryNameNamesItsOwnShapeAndFitsTheHelp) {
  std::set<std::string_view> names;
  for (const shape_entry& entry : wide_shapes()) {
    const std::optional<wide_shape> shape = shape_named(entry.name);
    ASSERT_TRUE(shape.has_value()) << entry.name;
    EXPECT_EQ(&entry_of(*shape), &entry) << entry.name;
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " twice";
    // --help writes the name from column 20 and the summary from 34, in 80.
    EXPECT_LT(entry.name.size(), 14U) << entry.name;
    EXPECT_LE(entry.summary.size(), 46U) << entry.name;
  }
  // "keyscript" names keyscript's own scripts, never a wide shape.
  for (const std::string_view other : {"keyscript", "", "Sorted", "sorted "}) {
    EXPECT_FALSE(shape_named(other).has_value()) << other;
  }
}

// The man page's list of shapes and the table in docs/scripts.md are
// written by hand: each names every shape, and the docs' table, which says
// the campaign takes the shapes in its order, has the table's rows in order.
TEST(Shapes, TheManPageAndTheDocsNameEveryShape) {
  const std::string man = read_file(KEYSCRIPT_SOURCE_DIR "/man/keyscript-check.1.in");
  const std::string docs = read_file(KEYSCRIPT_SOURCE_DIR "/docs/scripts.md");
  for (const shape_entry& entry : wide_shapes()) {
    std::string in_man = "\n.B ";
    for (const char c : entry.name) {
      in_man.append(c == '-' ? "\\-" : std::string_view(&c, 1));
    }
    in_man.append("\n");
    EXPECT_NE(man.find(in_man), std::string::npos) << entry.name << " is not in the man page's list";
  }
  const std::string header = "\n| shape | what it writes | what it is for |\n|---|---|---|\n";
  const std::size_t table = docs.find(header);
  ASSERT_NE(table, std::string::npos) << "docs/scripts.md has no table of shapes";
  std::string rows;  // each row's first cell
  for (std::size_t at = table + header.size(); docs.compare(at, 2, "| ") == 0; at = docs.find('\n', at) + 1) {
    rows.append(docs, at + 2, docs.find(" |", at + 2) - at - 2).append("\n");
  }
  std::string expected;
  for (const shape_entry& entry : wide_shapes()) {
    expected.append("`").append(entry.name).append("`\n");
  }
  EXPECT_EQ(rows, expected);
}

}  // namespace
}  // namespace keyscript
