// Field input and output with the exact text of the fixed-column notation.

#include "records/fields.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace records {
namespace {

using field_input::is_digit;

constexpr std::uint64_t power_of_ten(int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

void put_stars(std::string& out, int w) {
  out.append(static_cast<std::size_t>(w), '*');
}

void put_right_justified(std::string& out, std::string_view text, int w) {
  // One growth of the record instead of two appends, each checking room.
  const std::size_t at = out.size();
  const auto width = static_cast<std::size_t>(w);
  out.resize(at + width, ' ');
  std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at + width - text.size()));
}

// A field's text written from its last character to its first, over
// blanks, then appended right-justified. Digits go two at a time.
class RightToLeft {
 public:
  RightToLeft() { text_.fill(' '); }

  void put(char c) { *--first_ = c; }
  // The digits of `n`, at least `count` of them.
  void digits(std::uint32_t n, int count = 1) {
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* const last = first_;
    while (n >= 100) {
      first_ -= 2;
      std::memcpy(first_, pairs + 2 * (n % 100), 2);
      n /= 100;
    }
    if (n >= 10) {
      first_ -= 2;
      std::memcpy(first_, pairs + 2 * n, 2);
    } else {
      put(static_cast<char>('0' + n));
    }
    while (last - first_ < count) put('0');
  }
  bool fits(int w) const { return end() - first_ <= w; }
  // The text right-justified in `w` columns, where it fits.
  void append_to(std::string& out, int w) const {
    const auto width = static_cast<std::size_t>(w);
    if (width > room) return put_right_justified(out, std::string_view(first_, end()), w);
    out.append(end() - width, width);
  }

 private:
  const char* end() const { return text_.data() + text_.size(); }
  // Room for any number's text and the blanks of most fields.
  static constexpr std::size_t room = 32;
  std::array<char, room> text_;
  char* first_ = text_.data() + text_.size();
};

// A finite float split into its integer part and its fraction rounded to d
// digits, half away from zero, on the exact binary value.
struct RoundedDecimal {
  bool negative;
  std::uint64_t integer;
  std::uint64_t fraction;  // 0 <= fraction < 10^d
  bool too_large;          // integer part of 20 digits or more
};

RoundedDecimal round_decimal(float value, int d) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const bool negative = (bits >> 31) != 0;
  const auto biased = static_cast<int>((bits >> 23) & 0xffU);
  const std::uint64_t stored = bits & 0x7fffffU;
  // value = significand * 2^exponent, exactly.
  const std::uint64_t significand = biased == 0 ? stored : (stored | 0x800000U);
  const int exponent = (biased == 0 ? 1 : biased) - 150;

  if (exponent >= 0) {
    // significand < 2^24, so up to 2^40 the shift stays exact in 64 bits;
    // beyond it the integer part has 20 digits or more.
    if (exponent > 40) return {negative, 0, 0, true};
    return {negative, significand << exponent, 0, false};
  }
  const int shift = -exponent;
  if (shift >= 64) {
    // Below 2^-40: the fraction is far from reaching half a unit of the
    // smallest digit for any d <= 9.
    return {negative, 0, 0, false};
  }
  const std::uint64_t one = std::uint64_t{1} << shift;
  std::uint64_t integer = significand >> shift;
  const std::uint64_t remainder = significand & (one - 1);
  // remainder < 2^24 and 10^d <= 10^9, so the product fits in 64 bits.
  const std::uint64_t scaled = remainder * power_of_ten(d);
  std::uint64_t fraction = scaled >> shift;
  if ((scaled & (one - 1)) >= (one >> 1)) ++fraction;  // ties away from zero
  if (fraction == power_of_ten(d)) {
    fraction = 0;
    ++integer;
  }
  return {negative, integer, fraction, false};
}

}  // namespace

void put_I(std::string& out, std::int32_t value, int w) {
  RightToLeft text;
  const auto magnitude = static_cast<std::uint32_t>(value);
  text.digits(value < 0 ? 0U - magnitude : magnitude);
  if (value < 0) text.put('-');
  if (!text.fits(w)) return put_stars(out, w);
  text.append_to(out, w);
}

void put_F(std::string& out, float value, int w, int d) {
  // Nearly every value has a few digits each side of the point, well inside
  // its field. A float times 10^d (d <= 4) is exact in double precision
  // (24 + 14 bits), and below 2^44 adding a half is exact too, so the
  // integer part of the sum is the exact value rounded half away from
  // zero; its digits are then written from the right.
  if (d >= 1 && d <= 4 && w <= 20 && std::fabs(value) < 1e9F) {
    static constexpr std::array<double, 5> scale{1e0, 1e1, 1e2, 1e3, 1e4};
    static constexpr std::array<std::uint32_t, 5> unit{1, 10, 100, 1000, 10000};
    const auto n =
        static_cast<std::uint64_t>(std::fabs(static_cast<double>(value)) * scale[static_cast<std::size_t>(d)] + 0.5);
    const std::uint32_t one = unit[static_cast<std::size_t>(d)];
    RightToLeft text;
    text.digits(static_cast<std::uint32_t>(n % one), d);
    text.put('.');
    text.digits(static_cast<std::uint32_t>(n / one));  // below 10^9 + 1
    if (std::signbit(value)) text.put('-');
    if (text.fits(w)) return text.append_to(out, w);
    // Too wide: the leading zero gives way, or the field is asterisks.
  }
  // Neither an infinity nor a NaN has digits to show: no field holds them.
  if (!std::isfinite(value) || w > 20 || d > 9) return put_stars(out, w);
  const RoundedDecimal r = round_decimal(value, d);
  if (r.too_large) return put_stars(out, w);

  std::array<char, 48> text{};
  std::size_t n = 0;
  if (r.negative) text[n++] = '-';
  const std::size_t after_sign = n;
  if (r.integer != 0) {
    const auto [end, ec] = std::to_chars(text.data() + n, text.data() + text.size(), r.integer);
    n = static_cast<std::size_t>(end - text.data());
  } else {
    text[n++] = '0';
  }
  text[n++] = '.';
  std::uint64_t fraction = r.fraction;
  for (int i = d - 1; i >= 0; --i) {
    text[n + static_cast<std::size_t>(i)] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  n += static_cast<std::size_t>(d);

  std::string_view shown(text.data(), n);
  if (shown.size() > static_cast<std::size_t>(w) && r.integer == 0) {
    // The leading zero is the first thing to give way when space is short.
    std::copy(text.data() + after_sign + 1, text.data() + n, text.data() + after_sign);
    shown = std::string_view(text.data(), n - 1);
  }
  if (shown.size() > static_cast<std::size_t>(w)) return put_stars(out, w);
  put_right_justified(out, shown, w);
}

void put_A(std::string& out, std::string_view value, int w) {
  const auto width = static_cast<std::size_t>(w);
  if (value.size() >= width) {
    out.append(value.substr(0, width));
  } else {
    put_right_justified(out, value, w);
  }
}

// The general rule; fields wholly inside the record are copied inline by A.
void FieldReader::read_characters(int w, std::span<char> into) {
  const auto width = static_cast<std::size_t>(w);
  const std::size_t length = into.size();
  const auto column_at = [&](std::size_t i) {
    const std::size_t column = column_ + i;
    return column < record_.size() ? record_[column] : ' ';
  };
  for (std::size_t j = 0; j < length; ++j) {
    into[j] = width >= length ? column_at(width - length + j) : (j < width ? column_at(j) : ' ');
  }
  column_ += width;
}

std::optional<std::int32_t> field_input::read_I_otherwise(std::string_view field) {
  bool negative = false;
  bool seen_sign = false;
  bool seen_digit = false;
  std::int64_t magnitude = 0;
  for (const char c : field) {
    if (c == ' ') continue;
    if ((c == '+' || c == '-') && !seen_sign && !seen_digit) {
      seen_sign = true;
      negative = c == '-';
    } else if (is_digit(c)) {
      seen_digit = true;
      magnitude = magnitude * 10 + (c - '0');
      if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!seen_digit) {
    if (seen_sign) return std::nullopt;  // a sign with no digits
    return 0;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

namespace {

// A decimal number taken apart: its digits without the point, and the power
// of ten that scales them.
struct DecimalText {
  bool negative = false;
  std::array<char, 160> digits{};
  std::size_t digit_count = 0;
  std::int64_t exponent = 0;
};

constexpr std::int64_t exponent_limit = 100'000;  // far beyond any float

// Parses the blank-free text of an `F` field. False for anything that is not
// a number of the field's grammar.
bool parse_real(std::string_view text, int d, DecimalText& number) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  bool seen_point = false;
  bool seen_digit = false;
  std::int64_t fraction_digits = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (is_digit(c)) {
      seen_digit = true;
      if (number.digit_count == 0 && c == '0') {
        // Leading zeros carry no value, only position.
      } else if (number.digit_count < number.digits.size()) {
        number.digits[number.digit_count++] = c;
      } else {
        return false;  // more significant digits than any field of this tool
      }
      if (seen_point) ++fraction_digits;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return false;

  std::int64_t exponent = 0;
  if (i < text.size()) {
    const char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd')
      ++i;
    else if (c != '+' && c != '-')
      return false;
    bool negative_exponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative_exponent = text[i++] == '-';
    if (i == text.size()) return false;  // an exponent needs digits
    for (; i < text.size(); ++i) {
      if (!is_digit(text[i])) return false;
      exponent = std::min(exponent * 10 + (text[i] - '0'), exponent_limit);
    }
    if (negative_exponent) exponent = -exponent;
  }
  // Without a point, the last d digits are the fraction.
  if (!seen_point) fraction_digits = d;
  number.exponent = exponent - fraction_digits;
  return true;
}

}  // namespace

namespace {

// Most fields hold a plain decimal: blanks, a sign, at most seven digits
// around one point, blanks. Then the digits m and the decimals k make m and
// 10^k exact floats, and their quotient rounded to double and then to float
// is the float nearest to m / 10^k (double precision holds more than twice a
// float's digits plus two, so the second rounding cannot go astray). Anything
// else, or nullopt here, takes the general path.
std::optional<float> read_plain_decimal(std::string_view field, int d) {
  static constexpr std::array<double, 11> powers{1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
  std::size_t i = 0;
  const std::size_t n = field.size();
  while (i < n && field[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
  std::uint32_t digits = 0;
  int count = 0;
  int decimals = -1;
  for (; i < n; ++i) {
    const char c = field[i];
    if (is_digit(c)) {
      if (++count > 7) return std::nullopt;
      digits = digits * 10 + static_cast<std::uint32_t>(c - '0');
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  while (i < n && field[i] == ' ') ++i;
  if (i != n || count == 0) return std::nullopt;
  if (decimals < 0) decimals = d;
  if (decimals >= static_cast<int>(powers.size())) return std::nullopt;
  const auto magnitude = static_cast<float>(digits / powers[static_cast<std::size_t>(decimals)]);
  return negative ? -magnitude : magnitude;
}

}  // namespace

bool field_input::reads_as_F_otherwise(std::string_view field) {
  // Most other fields are blanks, a sign, digits around at most one point,
  // blanks.
  std::size_t i = 0;
  const std::size_t n = field.size();
  while (i < n && field[i] == ' ') ++i;
  if (i < n && (field[i] == '-' || field[i] == '+')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < n; ++i) {
    if (is_digit(field[i])) {
      digits = true;
    } else if (field[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < n && field[i] == ' ') ++i;
  return (i == n && digits) || read_F(field, 0).has_value();
}

std::optional<float> read_F(std::string_view field, int d) {
  if (const auto plain = read_plain_decimal(field, d)) return plain;

  std::array<char, 160> compact{};
  std::size_t length = 0;
  for (const char c : field) {
    if (c == ' ') continue;
    if (length == compact.size()) return std::nullopt;
    compact[length++] = c;
  }
  if (length == 0) return 0.0F;

  DecimalText number;
  if (!parse_real(std::string_view(compact.data(), length), d, number)) return std::nullopt;
  const float sign = number.negative ? -1.0F : 1.0F;
  if (number.digit_count == 0) return sign * 0.0F;

  // Hand the exact decimal to from_chars, which rounds to the nearest float.
  std::array<char, 200> text{};
  std::copy_n(number.digits.data(), number.digit_count, text.data());
  std::size_t n = number.digit_count;
  text[n++] = 'e';
  const auto [end, ec] = std::to_chars(text.data() + n, text.data() + text.size(), number.exponent);
  float magnitude = 0.0F;
  const auto result = std::from_chars(text.data(), end, magnitude);
  if (result.ec == std::errc::result_out_of_range) {
    // The nearest float is an infinity or a zero, by the size of the number.
    const std::int64_t decimal_point = static_cast<std::int64_t>(number.digit_count) + number.exponent;
    magnitude = decimal_point > 0 ? std::numeric_limits<float>::infinity() : 0.0F;
  }
  return sign * magnitude;
}

}  // namespace records
