// Every sample is one program, built once, under many names: the name it
// runs under picks its structure (sample_STRUCTURE) and, at its end, its
// planted bug (sample_STRUCTURE_BUG). Each structure's main is its Main.
#ifndef KEYSCRIPT_TESTS_CHECK_SAMPLES_SAMPLES_H_
#define KEYSCRIPT_TESTS_CHECK_SAMPLES_SAMPLES_H_

namespace keyscript::samples {

namespace avl_tree {
int Main(char** argv);
}
namespace child_keeps_writing {
int Main(char** argv);
}
namespace chunked_list {
int Main(char** argv);
}
namespace daemonizes {
int Main(char** argv);
}
namespace hash_set {
int Main(char** argv);
}
namespace hash_table {
int Main(char** argv);
}
namespace ignores_term {
int Main(char** argv);
}
namespace keeps_output {
int Main(char** argv);
}
namespace leaves_child {
int Main(char** argv);
}
namespace multiset {
int Main(char** argv);
}
namespace never_reads {
int Main(char** argv);
}
namespace prints_forever {
int Main(char** argv);
}
namespace skip_list {
int Main(char** argv);
}
namespace slow {
int Main(char** argv);
}
namespace treap {
int Main(char** argv);
}
namespace tree {
int Main(char** argv);
}

}  // namespace keyscript::samples

#endif  // KEYSCRIPT_TESTS_CHECK_SAMPLES_SAMPLES_H_
