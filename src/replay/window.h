#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A 64-byte window of a script described as bit masks, bit i for byte i: where
// the newlines, the carriage returns, the digits and the zeros are. The reader's fast path decides
// from these, a window at a time, whether every line in it is a plain key.
// Everything here has internal linkage, like the fast path (key_lines.h).

namespace keyscript {
namespace {  // one copy per instruction set, on purpose

inline constexpr std::size_t WINDOW_BYTES = 64;

struct window_masks {
  std::uint64_t newlines;
  std::uint64_t returns;  // CR, which may come before a newline
  std::uint64_t digits;
  std::uint64_t zeros;
};

// 8 bytes as a number whose lowest byte is the first: the same on every
// target, whatever its byte order.
inline std::uint64_t load_le64(const char* at) {
  std::uint64_t word = 0;
  std::memcpy(&word, at, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

namespace swar {

inline constexpr std::uint64_t LOW_7 = 0x7F7F7F7F7F7F7F7FU;
inline constexpr std::uint64_t HIGH = 0x8080808080808080U;
inline constexpr std::uint64_t ONES = 0x0101010101010101U;

// The high bit of each byte that equals `byte`, exactly (no carries
// between bytes).
inline std::uint64_t equal_bytes(std::uint64_t word, unsigned char byte) {
  const std::uint64_t x = word ^ (ONES * byte);
  return ~(((x & LOW_7) + LOW_7) | x) & HIGH;
}

// The high bit of each byte from '0' to '9'.
inline std::uint64_t digit_bytes(std::uint64_t word) {
  const std::uint64_t x = word ^ (ONES * '0');  // a digit is now 0 to 9
  return ~(((x & LOW_7) + ONES * (0x80 - 10)) | x) & HIGH;
}

// The high bits of the 8 bytes, gathered into the low 8 bits.
inline std::uint64_t gather(std::uint64_t high_bits) { return ((high_bits >> 7) * 0x0102040810204080U) >> 56; }

}  // namespace swar

// The masks with SSE2 where the target has it, else 8 bytes at a time. The
// carriage returns are left out (0): most scripts have none, so they are
// looked for only in a window whose lines are refused without them.
inline window_masks portable_masks(const char* window) {
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  window_masks masks{0, 0, 0, 0};
  for (std::size_t part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
    const __m128i from_zero = _mm_sub_epi8(bytes, zero);
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(from_zero, nine), from_zero);
    const auto shift = static_cast<unsigned>(16 * part);
    masks.newlines |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)))}
                      << shift;
    masks.digits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(digit))} << shift;
    masks.zeros |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)))} << shift;
  }
  return masks;
#else
  window_masks masks{0, 0, 0, 0};
  for (std::size_t part = 0; part < 8; ++part) {
    const std::uint64_t word = load_le64(window + 8 * part);
    const auto shift = static_cast<unsigned>(8 * part);
    masks.newlines |= swar::gather(swar::equal_bytes(word, '\n')) << shift;
    masks.digits |= swar::gather(swar::digit_bytes(word)) << shift;
    masks.zeros |= swar::gather(swar::equal_bytes(word, '0')) << shift;
  }
  return masks;
#endif
}

// A bit for each carriage return of the window.
inline std::uint64_t portable_returns(const char* window) {
  std::uint64_t returns = 0;
#if defined(__SSE2__)
  const __m128i carriage_return = _mm_set1_epi8('\r');
  for (std::size_t part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
    returns |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, carriage_return)))}
               << (16 * part);
  }
#else
  for (std::size_t part = 0; part < 8; ++part) {
    returns |= swar::gather(swar::equal_bytes(load_le64(window + 8 * part), '\r')) << (8 * part);
  }
#endif
  return returns;
}

// The value of the 1 to 8 decimal digits that end just before `end`, as
// "%u" reads them. The 8 bytes before `end` must be readable; those before
// the digits are ignored.
inline std::uint32_t portable_key(const char* end, unsigned length) {
  const unsigned dropped = 8 * (8 - length);
  std::uint64_t d = load_le64(end - 8) & 0x0F0F0F0F0F0F0F0FU;
  d = d >> dropped << dropped;  // the bytes before the digits count as leading zeros
  // Neighbouring digits pair up, then pairs, then fours: the first byte is
  // the most significant digit.
  d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFU;
  d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFU;
  return static_cast<std::uint32_t>((d * 10000 + (d >> 32)) & 0xFFFFFFFFU);
}

}  // namespace
}  // namespace keyscript
