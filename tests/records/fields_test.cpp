// The exact text of output fields and the values of input fields.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "records/chars.hpp"
#include "records/fields.hpp"

namespace {

using records::Chars;
using records::FieldReader;

struct IntegerOut {
  std::int32_t value;
  int w;
  std::string_view text;
};

TEST(IntegerOutput, RightJustifiedOrAsterisks) {
  const IntegerOut cases[] = {
      {0, 5, "    0"},          {-42, 5, "  -42"},          {42, 9, "       42"},
      {1234, 3, "***"},         {999, 3, "999"},            {-99, 3, "-99"},
      {-100, 3, "***"},         {99999, 5, "99999"},        {100000, 5, "*****"},
      {2147483647, 10, "2147483647"}, {-2147483647 - 1, 10, "**********"}, {70, 10, "        70"},
      {-2147483647 - 1, 11, "-2147483648"}, {-7, 40, "                                      -7"},
  };
  for (const auto& c : cases) {
    std::string out;
    records::put_I(out, c.value, c.w);
    EXPECT_EQ(out, c.text) << c.value << " in I" << c.w;
  }
}

struct RealOut {
  float value;
  int w;
  int d;
  std::string_view text;
};

TEST(RealOutput, RoundsTheExactBinaryValueHalfAwayFromZero) {
  const RealOut cases[] = {
      // Exact ties in binary: printf would round these to even.
      {0.125F, 4, 2, "0.13"},
      {0.0625F, 8, 3, "   0.063"},
      {-0.125F, 8, 2, "   -0.13"},
      {2.5F, 5, 0, "   3."},
      // Decimal "ties" that are not ties in binary go by the exact value.
      {0.005F, 4, 2, "0.00"},     // 0.004999999888...
      {2.675F, 4, 2, "2.67"},     // 2.6749999523...
      {0.0005F, 8, 3, "   0.001"},  // 0.0005000000237...
      {0.0015F, 8, 3, "   0.002"},
      {0.9999F, 8, 3, "   1.000"},
      {12.3456F, 8, 3, "  12.346"},
      {101.0F, 10, 3, "   101.000"},
  };
  for (const auto& c : cases) {
    std::string out;
    records::put_F(out, c.value, c.w, c.d);
    EXPECT_EQ(out, c.text) << c.value << " in F" << c.w << "." << c.d;
  }
}

TEST(RealOutput, LeadingZeroSignAndAsterisks) {
  const float infinity = std::numeric_limits<float>::infinity();
  const RealOut cases[] = {
      {0.5F, 4, 2, "0.50"},
      {1.8F, 4, 2, "1.80"},
      {0.0F, 4, 2, "0.00"},
      {-0.5F, 8, 3, "  -0.500"},
      {-0.5F, 4, 2, "-.50"},  // no room for the zero with the sign
      {-0.0001F, 8, 3, "  -0.000"},  // negative values keep their sign at zero
      {-0.0F, 8, 3, "  -0.000"},
      {1e-45F, 8, 3, "   0.000"},
      {9.994F, 4, 2, "9.99"},
      {9.996F, 4, 2, "****"},  // rounds up to a fifth column
      {10.0F, 4, 2, "****"},
      {-1.5F, 4, 2, "****"},
      {99999.99F, 9, 3, "99999.992"},
      {-99999.99F, 10, 3, "-99999.992"},
      {-100000.0F, 10, 3, "**********"},
      {100000.0F, 8, 3, "********"},
      {3.0e38F, 10, 3, "**********"},
      {infinity, 8, 3, "********"},
      {-infinity, 4, 2, "****"},
      {std::nanf(""), 8, 3, "********"},
  };
  for (const auto& c : cases) {
    std::string out;
    records::put_F(out, c.value, c.w, c.d);
    EXPECT_EQ(out, c.text) << c.value << " in F" << c.w << "." << c.d;
  }
}

// The field as worked out from the exact decimal expansion of the float,
// independently of the writer: digits after the d-th decide, half away from
// zero; the sign stays on a value that rounds to zero.
std::string expected_F(float value, int w, int d) {
  char exact[256];
  const auto end =
      std::to_chars(exact, exact + sizeof exact, std::fabs(static_cast<double>(value)), std::chars_format::fixed, 160)
          .ptr;
  std::string digits(exact, end);
  const std::size_t point = digits.find('.');
  std::string kept = digits.substr(0, point) + digits.substr(point + 1, static_cast<std::size_t>(d));
  if (digits[point + 1 + static_cast<std::size_t>(d)] >= '5') {
    std::size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0) {
      kept.insert(0, "1");
    } else {
      ++kept[i - 1];
    }
  }
  std::string integer = kept.substr(0, kept.size() - static_cast<std::size_t>(d));
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size()));
  const std::string sign = std::signbit(value) ? "-" : "";
  std::string text = sign + (integer.empty() ? "0" : integer) + "." +
                     kept.substr(integer.empty() ? kept.size() - static_cast<std::size_t>(d) : integer.size());
  if (text.size() > static_cast<std::size_t>(w) && integer.empty()) text = sign + text.substr(sign.size() + 1);
  if (text.size() > static_cast<std::size_t>(w)) return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + text;
}

TEST(RealOutput, AgreesWithTheExactDecimalExpansion) {
  // Floats of up to eight significant digits, at every scale the tool
  // writes, ties and near-ties included, in each field the tool uses.
  struct Field {
    int w;
    int d;
  };
  const Field fields[] = {{4, 2}, {8, 3}, {10, 3}, {5, 1}, {3, 1}};
  std::uint64_t state = 88172645463325252ULL;
  for (int i = 0; i < 300'000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const auto mantissa = static_cast<double>(state % 100'000'000ULL);
    const int scale = static_cast<int>((state >> 40) % 12);
    float value = static_cast<float>(mantissa / std::pow(10.0, scale));
    if (state >> 63) value = -value;
    if ((state >> 32) % 7 == 0) value = std::nextafter(value, (state >> 33) % 2 ? 1e9F : -1e9F);
    const Field field = fields[(state >> 50) % 5];
    std::string out;
    records::put_F(out, value, field.w, field.d);
    ASSERT_EQ(out, expected_F(value, field.w, field.d)) << value << " in F" << field.w << "." << field.d;
  }
}

TEST(CharacterOutput, RightJustifiedOrCut) {
  std::string out;
  records::put_A(out, "A", 7);
  records::put_A(out, " CA ", 4);
  records::put_A(out, "abcdef", 3);
  records::put_A(out, "", 2);
  EXPECT_EQ(out, "      A CA abc  ");
}

TEST(CharacterInput, ShortRecordsReadAsBlanksAndWidthsFitTheVariable) {
  Chars<6> name;
  FieldReader("END ").A(6, name);
  EXPECT_EQ(name, "END   ");

  // A five-column field into four characters keeps the last four.
  Chars<6> record_name;
  Chars<5> serial;
  Chars<4> atom_name;
  FieldReader("ATOM    101  CA  ALA").A(6, record_name).A(5, serial).A(5, atom_name);
  EXPECT_EQ(serial, "  101");
  EXPECT_EQ(atom_name, " CA ");

  // A narrower field fills the variable's first columns.
  Chars<8> wide;
  FieldReader("abcdefgh").skip(2).A(3, wide);
  EXPECT_EQ(wide, "cde     ");

  Chars<12> file;
  FieldReader("1abc.pdb").A(12, file);
  EXPECT_EQ(file, "1abc.pdb    ");
  FieldReader("a-name-longer-than-twelve").A(12, file);
  EXPECT_EQ(file, "a-name-longe");
}

struct IntegerIn {
  std::string_view field;
  std::optional<std::int32_t> value;
};

TEST(IntegerInput, BlanksIgnoredAnythingElseIsAnError) {
  const IntegerIn cases[] = {
      {" 12 ", 12},        {"    ", 0},         {"", 0},
      {"  -42", -42},      {"+5", 5},           {"1 2", 12},
      {"- 7", -7},         {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"-", std::nullopt}, {"1-2", std::nullopt}, {"12a", std::nullopt},
      {"1.0", std::nullopt}, {"2147483648", std::nullopt}, {"--1", std::nullopt},
      {"\t1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(records::read_I(c.field), c.value) << '"' << c.field << '"';
}

struct RealIn {
  std::string_view field;
  int d;
  std::optional<float> value;
};

TEST(RealInput, NearestFloatToTheExactDecimal) {
  const float infinity = std::numeric_limits<float>::infinity();
  const RealIn cases[] = {
      {"  12.345", 0, 12.345F},
      {"  -7.5  ", 0, -7.5F},
      {"     101", 0, 101.0F},
      {"1.80 ", 0, 1.8F},
      {"        ", 0, 0.0F},
      {" 1 2.3 4", 0, 12.34F},  // blanks anywhere are ignored
      {"15", 1, 1.5F},          // without a point the last d digits are the fraction
      {"1.5", 3, 1.5F},         // a point overrides d
      {"1.5E2", 0, 150.0F},
      {"1.5e+2", 0, 150.0F},
      {"1.5D2", 0, 150.0F},
      {"15-1", 0, 1.5F},  // a signed exponent without a letter
      {".5", 0, 0.5F},
      {"5.", 0, 5.0F},
      {"0.1", 0, 0.1F},
      {"16777217", 0, 16777216.0F},  // a tie between two floats goes to even
      {"3.4028235E38", 0, 3.4028235e38F},
      {"3.5E38", 0, infinity},
      {"1E-50", 0, 0.0F},
      {"1.4E-45", 0, 1.4e-45F},
      {"123456789012", 0, 123456789012.0F},  // more digits than the shortcut takes
      {"-1234567.891", 0, -1234567.891F},
  };
  for (const auto& c : cases) EXPECT_EQ(records::read_F(c.field, c.d), c.value) << '"' << c.field << '"';
}

TEST(RealInput, AnythingOutsideTheGrammarIsAnError) {
  const std::string_view bad[] = {"  1.2x34", "-", "+", ".", "E5", "1E", "1E+", "1.2.3", "1Q2",
                                  "Inf",      "nan", "1,5", "1E5.0", "1+", "--1", "1E2E3"};
  for (const auto field : bad) EXPECT_EQ(records::read_F(field, 0), std::nullopt) << '"' << field << '"';
}

TEST(RealInput, PlainDecimalsReadAsTheirExactValueRounded) {
  // A plain decimal takes a shortcut; the same number with an exponent takes
  // the general path. Both must give the same float, bit for bit.
  std::uint32_t state = 12345;
  for (int i = 0; i < 200'000; ++i) {
    state = state * 1664525U + 1013904223U;
    const int digits = static_cast<int>(state % 8) + 1;
    const int decimals = static_cast<int>((state >> 3) % static_cast<std::uint32_t>(digits + 1));
    // Up to eight significant digits: one more than the shortcut takes.
    std::string text = std::to_string((state >> 8) % 100'000'000U);
    text = std::string(static_cast<std::size_t>(std::max(0, digits - static_cast<int>(text.size()))), '0') + text;
    text.insert(text.size() - static_cast<std::size_t>(decimals), ".");
    if (state & 1U << 31) text.insert(0, "-");
    const auto plain = records::read_F(text, 0);
    const auto general = records::read_F(text + "E0", 0);
    ASSERT_TRUE(plain && general) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(*plain), std::bit_cast<std::uint32_t>(*general)) << text;
  }
}

TEST(RealInput, SignOfZeroIsKept) {
  const auto negative_zero = records::read_F("  -0.000", 0);
  ASSERT_TRUE(negative_zero.has_value());
  EXPECT_TRUE(std::signbit(*negative_zero));
}

}  // namespace
