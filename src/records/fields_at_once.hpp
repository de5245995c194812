// Number fields told to be as the archive writes them many columns at a
// time, so that checking them costs a few operations per record rather
// than a few per column. A scan reads the serial and the residue of each
// ATOM record it takes and checks the coordinates of all but the few it
// collects, and column by column that was most of a run's instructions
// (bench/README.md). Only fields of those forms are recognised here; any
// other is left to `read_I` and `reads_as_F`, whose results these are.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace records {

namespace field_input {

// `c` in every byte of a word.
constexpr std::uint64_t in_every_byte(unsigned char c) {
  return 0x0101010101010101ULL * c;
}

// Bit 7 of each byte of `word` that is not zero, the other bits clear.
constexpr std::uint64_t nonzero_bytes(std::uint64_t word) {
  constexpr std::uint64_t low_bits = in_every_byte(0x7F);
  return (((word & low_bits) + low_bits) | word) & ~low_bits;
}

// The number that the digit values in the bytes of `digits` make, the
// lowest byte the first digit: pairs of digits, then of pairs, and so on.
template <class Word>
constexpr std::uint32_t number_of_digits(Word digits) {
  digits = (digits * 10 + (digits >> 8)) & static_cast<Word>(0x00FF00FF00FF00FFULL);
  digits = (digits * 100 + (digits >> 16)) & static_cast<Word>(0x0000FFFF0000FFFFULL);
  if constexpr (sizeof(Word) == 8) digits = (digits * 10000 + (digits >> 32)) & 0xFFFFFFFFULL;
  return static_cast<std::uint32_t>(digits);
}

}  // namespace field_input

// What each of up to 32 columns holds, one bit per column, the first
// column the lowest bit.
struct ColumnKinds {
  std::uint32_t digits = 0;
  std::uint32_t blanks = 0;
  std::uint32_t minuses = 0;
  std::uint32_t points = 0;

  // The kinds of the columns from `column` on.
  constexpr ColumnKinds from(int column) const {
    return {digits >> column, blanks >> column, minuses >> column, points >> column};
  }
};

// Whether the kinds of columns can be told many at a time here; where they
// cannot, `kinds_of` tells none and every field goes the column-wise way.
inline constexpr bool kinds_at_once =
#if defined(__SSE2__)
    std::endian::native == std::endian::little;
#else
    false;
#endif

// The kinds of the 16 columns from `columns` on. Kinds a caller leaves
// unused cost nothing once inlined.
[[gnu::always_inline]] inline ColumnKinds kinds_of([[maybe_unused]] const char* columns) {
  ColumnKinds kinds;
#if defined(__SSE2__)
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns));
  const auto bits = [](__m128i found) { return static_cast<std::uint32_t>(_mm_movemask_epi8(found)); };
  // A digit is below -128 + 10 once '0' is moved to -128, the least byte.
  const __m128i moved = _mm_add_epi8(text, _mm_set1_epi8(static_cast<char>(0x80 - '0')));
  kinds.digits = bits(_mm_cmplt_epi8(moved, _mm_set1_epi8(-128 + 10)));
  kinds.blanks = bits(_mm_cmpeq_epi8(text, _mm_set1_epi8(' ')));
  kinds.minuses = bits(_mm_cmpeq_epi8(text, _mm_set1_epi8('-')));
  kinds.points = bits(_mm_cmpeq_epi8(text, _mm_set1_epi8('.')));
#endif
  return kinds;
}

// The kinds of the 32 columns from `columns` on.
[[gnu::always_inline]] inline ColumnKinds kinds_of_32(const char* columns) {
  const ColumnKinds first = kinds_of(columns);
  const ColumnKinds next = kinds_of(columns + 16);
  return {first.digits | next.digits << 16, first.blanks | next.blanks << 16, first.minuses | next.minuses << 16,
          first.points | next.points << 16};
}

// Whether the first `width` columns of `kinds` hold blanks and then at
// least one digit: an `I`w field as written, with no sign.
constexpr bool integer_as_written(const ColumnKinds& kinds, int width) {
  const std::uint32_t field = (std::uint32_t{1} << width) - 1;
  const std::uint32_t digits = kinds.digits & field;
  const std::uint32_t blanks = kinds.blanks & field;
  // Every blank below the lowest digit; none is lowest when there is none.
  return (digits | blanks) == field && blanks < (digits & (~digits + 1));
}

// Whether the first 24 columns of `kinds` hold three F8 fields as written:
// each blanks, at most one minus and digits in its first three columns, a
// digit in the fourth, the point in the fifth and three decimals.
constexpr bool three_F8_as_written(const ColumnKinds& kinds) {
  constexpr std::uint32_t all = 0xFFFFFF;
  constexpr std::uint32_t point = 0x101010;
  constexpr std::uint32_t digit_only = 0xE8E8E8;  // each field's columns 4 and 6-8
  const std::uint32_t digits = kinds.digits & all;
  const std::uint32_t blanks = kinds.blanks & all;
  const std::uint32_t minuses = kinds.minuses & all;
  const bool shaped = (kinds.points & all) == point && (digits & digit_only) == digit_only &&
                      (digits | blanks | minuses | point) == all;
  // In the first three columns of each: a blank only after a blank, a
  // digit only before a digit, and no two minuses side by side (with the
  // other two, no two minuses at all).
  const bool blank_after_other = (blanks & ~(blanks << 1) & 0x060606) != 0;
  const bool other_after_digit = (digits & ~(digits >> 1) & 0x030303) != 0;
  const bool two_minuses = (minuses & (minuses >> 1) & 0x030303) != 0;
  return shaped && !blank_after_other && !other_after_digit && !two_minuses;
}

// The value of an `I`w field that `integer_as_written` holds true of, the
// field ending at least eight bytes into memory that may be read: the
// bytes that end with it are converted as one word, of four bytes where
// the field fits, which takes one step less.
template <std::size_t width>
[[gnu::always_inline]] inline std::int32_t integer_as_written_value(std::string_view field) {
  static_assert(width >= 1 && width <= 8);
  using Word = std::conditional_t<(width <= 4), std::uint32_t, std::uint64_t>;
  constexpr std::size_t bytes = sizeof(Word);
  Word word;
  std::memcpy(&word, field.data() + field.size() - bytes, bytes);
  // A digit's value in each byte, the field's first in the lowest; a blank
  // and the bytes before the field zero.
  constexpr Word of_field = static_cast<Word>(~Word{0} << (8 * (bytes - width)));
  return static_cast<std::int32_t>(
      field_input::number_of_digits<Word>(word & static_cast<Word>(0x0F0F0F0F0F0F0F0FULL) & of_field));
}

// The value of one of three F8 fields that `three_F8_as_written` holds true
// of, as `read_F` gives it: its seven digits are one number of
// thousandths, converted as one word, divided as `read_F` divides it.
[[gnu::always_inline]] inline float F8_as_written_value(std::string_view field) {
  using namespace field_input;
  std::uint64_t word;
  std::memcpy(&word, field.data(), sizeof word);
  // A digit's value in each byte, the first column in the lowest; a blank
  // 0x10, a minus 0x1D and the point 0x1E, which all become zero.
  const std::uint64_t values = word ^ in_every_byte('0');
  const bool negative = nonzero_bytes(values ^ in_every_byte(0x1D)) != in_every_byte(0x80);
  std::uint64_t digits = values & ~(((values & in_every_byte(0x10)) >> 4) * 0xFF);
  // The four columns before the point one byte up, over it.
  digits = (digits & 0xFFFFFF0000000000ULL) | (digits & 0xFFFFFFFFULL) << 8;
  const float magnitude = static_cast<float>(number_of_digits(digits) / 1e3);
  return negative ? -magnitude : magnitude;
}

}  // namespace records
