#include "replay/key_lines.h"

namespace keyscript {

namespace {

struct portable_kernel {
  static window_masks masks(const char* window) { return portable_masks(window); }
  static std::uint64_t returns(const char* window) { return portable_returns(window); }
  static std::uint32_t key(const char* end, unsigned length) {
    return length <= 5 ? portable_key(end, length) : static_cast<std::uint32_t>(KEY_VALUES);
  }
};

}  // namespace

namespace portable {

const char* take_key_lines(block_counter& block, const char* p, const char* end, std::uint64_t& taken) {
  return take_key_lines_with<portable_kernel>(block, p, end, taken);
}

}  // namespace portable

#if defined(KEYSCRIPT_X86_V3)
namespace x86_v3 {

// Built here, with the target's own instruction set: it runs before the
// faster version may be chosen.
bool cpu_runs_it() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

}  // namespace x86_v3
#endif

}  // namespace keyscript
