// A program under test, as small as one can be: it keeps its keys in a
// std::set, reads a keyscript script on standard input, and at every
// checkpoint ("s") and at the end ("q") prints the keys it holds, in
// ascending order, one a line. Compare its output with
// `keyscript-expect --keys` (README: Checking a program).
//
// Built a second time as masked_set, with a bug for keyscript-check to find:
// it deletes through a 14-bit index, so deleting a key from 16384 up deletes
// another key (the key less 16384) instead.
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>

#ifdef PLANTED_BUG
constexpr int DELETE_MASK = 0x3FFF;
#else
constexpr int DELETE_MASK = 0x7FFF;  // every key: they are 0 to 32767
#endif

int main() {
  std::set<int> keys;
  std::string line;
  bool inserting = false;
  while (std::getline(std::cin, line)) {
    if (inserting) {
      if (line == "-1") {
        inserting = false;
      } else {
        keys.insert(std::atoi(line.c_str()));
      }
    } else if (line == "i") {
      inserting = true;
    } else if (line.rfind("d ", 0) == 0) {
      keys.erase(std::atoi(line.c_str() + 2) & DELETE_MASK);
    } else if (line == "s" || line == "q") {
      for (const int key : keys) {
        std::cout << key << '\n';
      }
      if (line == "q") {
        break;
      }
    }
  }
  return std::cout.flush() ? 0 : 1;
}
