// A program under test that ends at once, status 0, without reading its
// script or writing anything.
#include "samples.h"

namespace keyscript::samples::never_reads {

int Main(char** /*argv*/) { return 0; }

}  // namespace keyscript::samples::never_reads
