// A program under test that writes "0" lines without end, and without
// reading its script, until standard output is closed on it.
#include <cstdio>
#include <string>

#include "samples.h"

namespace keyscript::samples::prints_forever {

int Main(char** /*argv*/) {
  std::string zeros;
  for (int line = 0; line < 32768; ++line) zeros += "0\n";
  while (std::fwrite(zeros.data(), 1, zeros.size(), stdout) == zeros.size()) {
  }
  return 1;
}

}  // namespace keyscript::samples::prints_forever
