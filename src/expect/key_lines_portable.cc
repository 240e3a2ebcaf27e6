#include "expect/key_lines.h"

namespace keyscript {

namespace {

struct portable_kernel {
  static window_masks masks(const char* window) { return portable_masks(window); }
  static std::uint32_t key(const char* end, unsigned length) {
    return length <= 5 ? portable_key(end, length) : static_cast<std::uint32_t>(KEY_VALUES);
  }
};

}  // namespace

const char* take_key_lines_portable(key_model& model, const char* p, const char* end, std::uint64_t& taken) {
  return take_key_lines_with<portable_kernel>(model, p, end, taken);
}

#if defined(__x86_64__)
// Built here, with the target's own instruction set: it runs before the
// faster version may be chosen.
bool cpu_runs_x86_v3() {
  __builtin_cpu_init();  // the answer may be asked for before the C++ runtime has set it up
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}
#endif

}  // namespace keyscript
