// The samples' one main: it runs the structure that the name it runs under
// names. Compiled as one program rather than one a structure, the samples
// parse the standard library's headers once a build, not sixteen times.
#include "samples.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace keyscript::samples {
namespace {

struct sample {
  std::string_view structure;
  int (*main)(char** argv);
};

constexpr sample kSamples[] = {
    {"avl_tree", avl_tree::Main},
    {"child_keeps_writing", child_keeps_writing::Main},
    {"chunked_list", chunked_list::Main},
    {"daemonizes", daemonizes::Main},
    {"hash_set", hash_set::Main},
    {"hash_table", hash_table::Main},
    {"ignores_term", ignores_term::Main},
    {"keeps_output", keeps_output::Main},
    {"leaves_child", leaves_child::Main},
    {"multiset", multiset::Main},
    {"never_reads", never_reads::Main},
    {"prints_forever", prints_forever::Main},
    {"skip_list", skip_list::Main},
    {"slow", slow::Main},
    {"treap", treap::Main},
    {"tree", tree::Main},
};

// sample_STRUCTURE, or sample_STRUCTURE_ followed by a bug's name.
bool Names(std::string_view name, std::string_view structure) {
  constexpr std::string_view kPrefix = "sample_";
  if (!name.starts_with(kPrefix)) return false;
  name.remove_prefix(kPrefix.size());
  return name.starts_with(structure) && (name.size() == structure.size() || name[structure.size()] == '_');
}

}  // namespace
}  // namespace keyscript::samples

int main(int /*argc*/, char** argv) {
  const char* const slash = std::strrchr(argv[0], '/');
  const std::string_view name = slash ? slash + 1 : argv[0];
  for (const keyscript::samples::sample& s : keyscript::samples::kSamples) {
    if (keyscript::samples::Names(name, s.structure)) return s.main(argv);
  }
  std::fprintf(stderr, "%s: no sample is named so: run it as sample_STRUCTURE or sample_STRUCTURE_BUG\n", argv[0]);
  return 2;
}
