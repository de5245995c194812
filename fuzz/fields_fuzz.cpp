// Fuzzes the field conversions: I and F input, A input through FieldReader,
// and the I, F and A output fields, checking each against the rules the
// records header states.
//
// Input: a sequence of operations, each a selector byte and its operands.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "records/fields_at_once.hpp"

namespace {

using fuzzing::Bytes;

constexpr std::string_view prefix = "rec>";  // what a record already holds before the field

bool contains_digit(std::string_view text) {
  return text.find_first_of("0123456789") != std::string_view::npos;
}

std::string without_blanks(std::string_view text) {
  std::string compact;
  for (const char c : text) {
    if (c != ' ') compact.push_back(c);
  }
  return compact;
}

bool same_float(std::optional<float> a, std::optional<float> b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::bit_cast<std::uint32_t>(*a) == std::bit_cast<std::uint32_t>(*b);
}

std::string right_justified(std::string_view text, int w) {
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + std::string(text);
}

// The text appended by one output field, after checking it is exactly w long.
std::string_view appended(const std::string& out, int w) {
  FUZZ_CHECK(out.size() == prefix.size() + static_cast<std::size_t>(w));
  FUZZ_CHECK(std::string_view(out).substr(0, prefix.size()) == prefix);
  return std::string_view(out).substr(prefix.size());
}

// The F conversion worked out independently: the field's grammar checked
// here, the exact decimal it stands for handed to strtof, which rounds
// correctly. nullopt when the field is no number; `unsure` past 150
// characters, longer than any field of this tool, where F may give up.
struct ExpectedReal {
  bool unsure = false;
  std::optional<float> value;
};

ExpectedReal expected_F(std::string_view field, int d) {
  const std::string text = without_blanks(field);
  if (text.empty()) return {false, 0.0F};
  if (text.size() > 150) return {true, std::nullopt};

  std::size_t i = 0;
  std::string number;
  if (text[i] == '+' || text[i] == '-') number.push_back(text[i++]);
  bool point = false;
  std::size_t digits = 0;
  long fraction_digits = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number.push_back(c);
      ++digits;
      if (point) ++fraction_digits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return {};

  long exponent = 0;
  if (i < text.size()) {
    const char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
    } else if (c != '+' && c != '-') {
      return {};
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return {};
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return {};
      // Far past the range of a float either way.
      exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000L);
    }
    if (negative) exponent = -exponent;
  }
  if (!point) fraction_digits = d;
  number += "e" + std::to_string(exponent - fraction_digits);
  return {false, std::strtof(number.c_str(), nullptr)};
}

// Fields told many columns at a time: whatever they take as written reads,
// and to what the column-wise conversions give.
void read_at_once(std::string_view text) {
  std::array<char, 48> columns;
  columns.fill('9');  // before the field, which must not count
  std::fill(columns.begin() + 8, columns.end(), ' ');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 32), columns.begin() + 8);
  const char* const at = columns.data() + 8;
  const records::ColumnKinds kinds = records::kinds_of_32(at);
  if (records::integer_as_written(kinds, 4)) {
    FUZZ_CHECK(records::read_I({at, 4}) == records::integer_as_written_value<4>({at, 4}));
  }
  if (records::integer_as_written(kinds, 5)) {
    FUZZ_CHECK(records::read_I({at, 5}) == records::integer_as_written_value<5>({at, 5}));
  }
  if (records::three_F8_as_written(kinds)) {
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string_view field(at + 8 * k, 8);
      FUZZ_CHECK(records::reads_as_F(field));
      FUZZ_CHECK(same_float(records::read_F(field, 0), records::F8_as_written_value(field)));
    }
  }
}

void read_numbers(std::string_view field) {
  read_at_once(field);
  const std::optional<std::int32_t> integer = records::read_I(field);
  std::array<std::optional<float>, 10> reals;
  for (int d = 0; d <= 9; ++d) reals[static_cast<std::size_t>(d)] = records::read_F(field, d);

  // d only places an absent decimal point: it can neither make nor spoil a
  // number, and is ignored when the point is there.
  const bool has_point = field.find('.') != std::string_view::npos;
  for (const auto& real : reals) {
    FUZZ_CHECK(real.has_value() == reals[0].has_value());
    if (real) FUZZ_CHECK(!std::isnan(*real));
    if (has_point) FUZZ_CHECK(same_float(real, reals[0]));
  }

  for (int d = 0; d <= 9; ++d) {
    const ExpectedReal expected = expected_F(field, d);
    if (!expected.unsure) FUZZ_CHECK(same_float(reals[static_cast<std::size_t>(d)], expected.value));
  }

  // An integer field is also an F field with no fraction, rounded to the
  // nearest float like any conversion of that integer (within the 150
  // characters that F is sure to take).
  if (integer && without_blanks(field).size() <= 150) {
    FUZZ_CHECK(reals[0].has_value());
    FUZZ_CHECK(*reals[0] == static_cast<float>(*integer));
  }
  if (field.find_first_not_of(' ') == std::string_view::npos) {
    FUZZ_CHECK(integer == 0);
    FUZZ_CHECK(reals[0] == 0.0F);
  }
}

// What A`w` into Chars<L> must give, from the header's rule.
template <std::size_t L>
records::Chars<L> expected_A(std::string_view record, std::size_t column, std::size_t w) {
  const auto column_at = [&](std::size_t i) { return column + i < record.size() ? record[column + i] : ' '; };
  records::Chars<L> chars;
  for (std::size_t j = 0; j < L; ++j) {
    if (w >= L) {
      chars[j] = column_at(w - L + j);
    } else {
      chars[j] = j < w ? column_at(j) : ' ';
    }
  }
  return chars;
}

template <std::size_t L>
void read_A(records::FieldReader& reader, std::string_view record, std::size_t& column, int w) {
  records::Chars<L> chars("stale text that must be overwritten");
  reader.A(w, chars);
  FUZZ_CHECK(chars == expected_A<L>(record, column, static_cast<std::size_t>(w)));
  column += static_cast<std::size_t>(w);
}

void read_fields(Bytes& in) {
  const std::string_view record = in.text(100);
  records::FieldReader reader(record);
  std::size_t column = 0;
  const int fields = in.in_range(1, 8);
  for (int i = 0; i < fields; ++i) {
    const int kind = in.in_range(0, 6);
    const int w = in.in_range(0, 40);
    switch (kind) {
      case 0: read_A<1>(reader, record, column, w); break;
      case 1: read_A<3>(reader, record, column, w); break;
      case 2: read_A<4>(reader, record, column, w); break;
      case 3: read_A<5>(reader, record, column, w); break;
      case 4: read_A<8>(reader, record, column, w); break;
      case 5: read_A<12>(reader, record, column, w); break;
      default:
        reader.skip(w);
        column += static_cast<std::size_t>(w);
        break;
    }
  }
}

void write_I(std::int32_t value, int w) {
  std::string out(prefix);
  records::put_I(out, value, w);
  const std::string_view field = appended(out, w);
  const std::string digits = std::to_string(value);
  if (digits.size() <= static_cast<std::size_t>(w)) {
    FUZZ_CHECK(field == right_justified(digits, w));
    FUZZ_CHECK(records::read_I(field) == value);
  } else {
    FUZZ_CHECK(field == std::string(static_cast<std::size_t>(w), '*'));
  }
}

// The full text of `value` in F`w`.`d`, before any width is applied: the
// exact binary value rounded half away from zero. printf is exact too but
// breaks ties to even, so a tie is nudged off itself first.
std::string full_F_text(float value, int d) {
  constexpr std::array<double, 10> powers = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  // Exact: 24 significant bits of the float times 5^d (21 bits at most).
  const double scaled = static_cast<double>(value) * powers[static_cast<std::size_t>(d)];
  double shown = value;
  if (std::fabs(scaled - std::trunc(scaled)) == 0.5) {
    shown = std::nextafter(shown, std::copysign(std::numeric_limits<double>::infinity(), shown));
  }
  std::array<char, 128> text{};
  const int n = std::snprintf(text.data(), text.size(), "%.*f", d, shown);
  FUZZ_CHECK(n > 0 && static_cast<std::size_t>(n) < text.size());
  std::string full(text.data(), static_cast<std::size_t>(n));
  if (d == 0) full.push_back('.');
  return full;
}

void write_F(float value, int w, int d) {
  std::string out(prefix);
  records::put_F(out, value, w, d);
  const std::string_view field = appended(out, w);
  const std::string stars(static_cast<std::size_t>(w), '*');
  if (!std::isfinite(value)) {
    FUZZ_CHECK(field == stars);
    return;
  }

  const std::string full = full_F_text(value, d);
  const std::size_t zero = full[0] == '-' ? 1 : 0;  // where a leading zero would be
  const auto width = static_cast<std::size_t>(w);
  if (full.size() <= width) {
    FUZZ_CHECK(field == right_justified(full, w));
  } else if (full.size() - 1 <= width && full.compare(zero, 2, "0.") == 0) {
    FUZZ_CHECK(field == right_justified(full.substr(0, zero) + full.substr(zero + 1), w));
  } else {
    FUZZ_CHECK(field == stars);
  }

  // Whatever was written with its digits reads back to within one unit of
  // the last decimal: half a unit from the rounding, at most as much again
  // from the nearest float to that decimal.
  if (field != stars && contains_digit(field)) {
    const std::optional<float> back = records::read_F(field, d);
    FUZZ_CHECK(back.has_value());
    const double error = std::fabs(static_cast<double>(*back) - static_cast<double>(value));
    FUZZ_CHECK(error <= std::pow(10.0, -d) * (1.0 + 1e-9));
  }
}

void write_A(std::string_view value, int w) {
  std::string out(prefix);
  records::put_A(out, value, w);
  const std::string_view field = appended(out, w);
  const auto width = static_cast<std::size_t>(w);
  if (value.size() >= width) {
    FUZZ_CHECK(field == value.substr(0, width));
  } else {
    FUZZ_CHECK(field == right_justified(value, w));
  }
}

// A float from the input, now and then one of the short decimals that
// coordinates and resolutions are, so both kinds of value get exercised.
float float_from(Bytes& in) {
  const std::uint32_t bits = in.u32();
  if ((bits & 0x80000000U) != 0) return std::bit_cast<float>(bits);
  const auto mantissa = static_cast<std::int32_t>(bits & 0x00ffffffU) - 0x800000;
  const int decimals = static_cast<int>((bits >> 24) & 0x7U);
  return static_cast<float>(mantissa) / static_cast<float>(std::pow(10.0, decimals));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  for (int operations = 0; operations < 64 && !in.empty(); ++operations) {
    switch (in.in_range(0, 4)) {
      case 0:
        read_numbers(in.text(48));
        break;
      case 1:
        read_fields(in);
        break;
      case 2: {
        const auto value = static_cast<std::int32_t>(in.u32());
        write_I(value, in.in_range(1, 20));
        break;
      }
      case 3: {
        const float value = float_from(in);
        const int w = in.in_range(1, 20);
        write_F(value, w, in.in_range(0, 9));
        break;
      }
      default: {
        const int w = in.in_range(1, 20);
        write_A(in.text(30), w);
        break;
      }
    }
  }
  // The whole input as one field: long texts and every byte value.
  read_numbers(std::string_view(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size));
  return 0;
}
