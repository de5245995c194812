// The fields of fixed-column records: input of character and number fields
// with the notation's blank rules, and output of exactly w characters.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "records/chars.hpp"

namespace records {

// Reads the fields of one record left to right. Columns beyond the end of a
// shorter record read as blanks.
class FieldReader {
 public:
  explicit FieldReader(std::string_view record) : record_(record) {}

  // `A`w into a variable of length L: the rightmost L of the w columns when
  // w >= L, otherwise the w columns followed by blanks.
  template <std::size_t L>
  FieldReader& A(int w, Chars<L>& into) {
    const auto width = static_cast<std::size_t>(w);
    if (width >= L && column_ + width <= record_.size()) {
      // The common case, kept inline: a field wholly inside the record.
      std::copy_n(record_.data() + column_ + (width - L), L, into.span().data());
      column_ += width;
    } else {
      read_characters(w, into.span());
    }
    return *this;
  }
  // A field of the layout that is read and thrown away.
  FieldReader& skip(int w) {
    column_ += static_cast<std::size_t>(w);
    return *this;
  }

 private:
  void read_characters(int w, std::span<char> into);
  std::string_view record_;
  std::size_t column_ = 0;
};

namespace field_input {

// What `read_I` and `reads_as_F` take most often is seen inline (below);
// these take the rest.
std::optional<std::int32_t> read_I_otherwise(std::string_view field);
bool reads_as_F_otherwise(std::string_view field);

constexpr bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace field_input

// `I`w and `F`w.d conversions of a field's text; nullopt is an input
// conversion error. Blanks anywhere are ignored, and a blank field is zero.
//
// Inline for what most fields are, blanks, an optional minus and at most
// nine digits: the scans read the serial and the residue of every ATOM
// record, and the calls were a fifth of a helix run's instructions
// (bench/README.md).
inline std::optional<std::int32_t> read_I(std::string_view field) {
  const char* at = field.data();
  const char* const end = at + field.size();
  while (at != end && *at == ' ') ++at;
  const bool minus = at != end && *at == '-';
  at += minus ? 1 : 0;
  if (at == end || end - at > 9) return field_input::read_I_otherwise(field);
  std::int32_t plain = 0;
  for (; at != end; ++at) {
    // One comparison for both bounds.
    const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*at)) - unsigned{'0'};
    if (digit > 9) return field_input::read_I_otherwise(field);
    plain = plain * 10 + static_cast<std::int32_t>(digit);
  }
  return minus ? -plain : plain;
}
std::optional<float> read_F(std::string_view field, int d);
// Whether `read_F` would convert the field, found without converting it.
// Inline for coordinates as the archive writes them, blanks, a minus,
// digits, the point in column 5 and three decimals ("  -1.234",
// "1234.567"): the scans check those of most ATOM records.
inline bool reads_as_F(std::string_view field) {
  using field_input::is_digit;
  if (field.size() == 8 && field[4] == '.' && is_digit(field[3]) && is_digit(field[5]) && is_digit(field[6]) &&
      is_digit(field[7])) {
    std::size_t i = 0;
    while (i < 3 && field[i] == ' ') ++i;
    if (i < 3 && field[i] == '-') ++i;
    while (i < 3 && is_digit(field[i])) ++i;
    if (i == 3) return true;
  }
  return field_input::reads_as_F_otherwise(field);
}

// Field output: each appends exactly w characters, asterisks when the value
// does not fit.
void put_I(std::string& out, std::int32_t value, int w);
// Rounds the exact binary value half away from zero. Widths up to 20.
void put_F(std::string& out, float value, int w, int d);
void put_A(std::string& out, std::string_view value, int w);

// A count (of records, atoms, files) as the 32-bit integer that its field
// writes. Past the largest one, every field the tool has shows asterisks.
constexpr std::int32_t as_count(std::size_t count) {
  constexpr auto largest = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(count < largest ? count : largest);
}

}  // namespace records
