// The README's program with a bug to find: sorted_set.cc, except that it
// deletes through a 14-bit index, so deleting a key from 16384 up deletes
// another key (the key less 16384) instead. keyscript-check finds it and
// shrinks the failing script (README: Checking a program).
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>

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
      keys.erase(std::atoi(line.c_str() + 2) & 0x3FFF);  // the bug: the key's low 14 bits
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
