// The fast path for x86-64 processors with AVX2 and BMI2 (Haswell and later,
// Zen and later). This file alone is compiled with those instruction sets;
// the replayer calls it only where x86_v3::cpu_runs_it() says they are there.
#include <immintrin.h>

#include <array>

#include "replay/key_lines.h"

namespace keyscript {

namespace {

// PEXT masks by line length: the low nibbles of the first `length` bytes of
// a word, which hold the digits once the line's last byte is the word's
// lowest. A line of more than 5 digits takes the high nibbles of its last 5
// instead, all 3s, which read as 33333: not a key, so no window needs to be
// searched for long runs of digits.
constexpr std::array<std::uint64_t, WINDOW_BYTES> DIGIT_NIBBLES = [] {
  std::array<std::uint64_t, WINDOW_BYTES> masks{};
  for (std::size_t length = 1; length < masks.size(); ++length) {
    masks[length] = length <= 5 ? masks[length - 1] | std::uint64_t{0x0F} << (8 * (length - 1)) : 0xF0F0F0F0F0U;
  }
  return masks;
}();

// A key's digits as packed decimal, units in the lowest nibble, become its
// value through two tables: the last three digits, and the first two
// (scaled by 1000). A nibble above 9 cannot come from a checked window; it
// gives a value past every key all the same.
constexpr std::uint32_t NOT_A_KEY = 1U << 16;

constexpr std::array<std::uint32_t, 4096> LAST_THREE = [] {
  std::array<std::uint32_t, 4096> values{};
  for (std::uint32_t bcd = 0; bcd < values.size(); ++bcd) {
    const std::uint32_t units = bcd & 0xF;
    const std::uint32_t tens = bcd >> 4 & 0xF;
    const std::uint32_t hundreds = bcd >> 8;
    values[bcd] = units > 9 || tens > 9 || hundreds > 9 ? NOT_A_KEY : hundreds * 100 + tens * 10 + units;
  }
  return values;
}();

constexpr std::array<std::uint32_t, 256> FIRST_TWO = [] {
  std::array<std::uint32_t, 256> values{};
  for (std::uint32_t bcd = 0; bcd < values.size(); ++bcd) {
    const std::uint32_t thousands = bcd & 0xF;
    const std::uint32_t ten_thousands = bcd >> 4;
    values[bcd] = thousands > 9 || ten_thousands > 9 ? NOT_A_KEY : (ten_thousands * 10 + thousands) * 1000;
  }
  return values;
}();

struct x86_v3_kernel {
  static window_masks masks(const char* window) {
    const __m256i newline = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_set1_epi8('0');
    const __m256i nine = _mm256_set1_epi8(9);
    window_masks masks{0, 0, 0, 0};
    for (std::size_t half = 0; half < 2; ++half) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 32 * half));
      const __m256i from_zero = _mm256_sub_epi8(bytes, zero);
      const __m256i digit = _mm256_cmpeq_epi8(_mm256_min_epu8(from_zero, nine), from_zero);
      const auto shift = static_cast<unsigned>(32 * half);
      masks.newlines |=
          std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, newline)))} << shift;
      masks.digits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(digit))} << shift;
      masks.zeros |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, zero)))}
                     << shift;
    }
    return masks;
  }

  static std::uint64_t returns(const char* window) {
    const __m256i carriage_return = _mm256_set1_epi8('\r');
    std::uint64_t returns = 0;
    for (std::size_t half = 0; half < 2; ++half) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 32 * half));
      returns |=
          std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, carriage_return)))}
          << (32 * half);
    }
    return returns;
  }

  static std::uint32_t key(const char* end, unsigned length) {
    const std::uint64_t last_first = __builtin_bswap64(load_le64(end - 8));  // the units digit lowest
    const auto bcd = static_cast<std::uint32_t>(_pext_u64(last_first, DIGIT_NIBBLES[length]));
    return LAST_THREE[bcd & 0xFFF] + FIRST_TWO[bcd >> 12];
  }
};

}  // namespace

namespace x86_v3 {

const char* take_key_lines(block_counter& block, const char* p, const char* end, std::uint64_t& taken) {
  return take_key_lines_with<x86_v3_kernel>(block, p, end, taken);
}

}  // namespace x86_v3

}  // namespace keyscript
