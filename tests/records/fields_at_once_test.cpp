// Number fields told many columns at a time: they take exactly the forms
// the archive writes, and read them as the column-wise conversions do.

#include "records/fields_at_once.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/fields.hpp"

namespace {

// Every text of `length` columns over `alphabet`, in turn.
template <class Visit>
void each_text(std::string_view alphabet, std::size_t length, Visit visit) {
  std::string text(length, alphabet[0]);
  std::vector<std::size_t> at(length, 0);
  for (;;) {
    visit(std::string_view(text));
    std::size_t i = 0;
    for (; i < length && ++at[i] == alphabet.size(); ++i) {
      at[i] = 0;
      text[i] = alphabet[0];
    }
    if (i == length) return;
    text[i] = alphabet[at[i]];
  }
}

bool blanks_then_digits(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first != std::string_view::npos && text.find_first_not_of("0123456789", first) == std::string_view::npos;
}

// Blanks, at most one minus, then digits (none needed).
bool coordinate_prefix(std::string_view text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return true;
  if (text[i] == '-') ++i;
  return text.find_first_not_of("0123456789", i) == std::string_view::npos;
}

// Whether a field as written reads, and to the float that `read_F` gives,
// bit for bit ("-0.000" included).
bool same_as_read_F(std::string_view field) {
  const auto column_wise = records::read_F(field, 0);
  return records::reads_as_F(field) && column_wise &&
         std::bit_cast<std::uint32_t>(records::F8_as_written_value(field)) ==
             std::bit_cast<std::uint32_t>(*column_wise);
}

TEST(FieldsAtOnce, IntegersAsWrittenAreBlanksThenDigitsAndReadAsColumnWise) {
  if (!records::kinds_at_once) GTEST_SKIP() << "columns are told one at a time on this machine";
  // Digits before the field, which must not count, and blanks after it.
  std::array<char, 40> record;
  record.fill('9');
  each_text(" -5x0:/", 5, [&](std::string_view field) {
    std::copy(field.begin(), field.end(), record.begin() + 8);
    std::fill(record.begin() + 13, record.end(), ' ');
    const std::string_view in_record(record.data() + 8, 5);
    const bool as_written = records::integer_as_written(records::kinds_of(in_record.data()), 5);
    ASSERT_EQ(as_written, blanks_then_digits(field)) << '"' << field << '"';
    if (as_written) {
      ASSERT_EQ(records::integer_as_written_value<5>(in_record), records::read_I(field)) << '"' << field << '"';
      // The same last four columns, read as a field of their own.
      const std::string_view last_four = in_record.substr(1);
      if (blanks_then_digits(last_four)) {
        ASSERT_EQ(records::integer_as_written_value<4>(last_four), records::read_I(last_four)) << '"' << field << '"';
      }
    }
  });
}

// Whether `text`, 24 columns, holds three F8 fields as written. The 32
// columns told at once end in blanks, as a record carries more columns.
bool three_F8_as_written(std::string_view text) {
  std::string columns(text);
  columns.resize(32, ' ');
  return records::three_F8_as_written(records::kinds_of_32(columns.data()));
}

TEST(FieldsAtOnce, CoordinatesAsWrittenReadColumnWiseToo) {
  if (!records::kinds_at_once) GTEST_SKIP() << "columns are told one at a time on this machine";
  // Each of the three fields in turn gets every prefix of its first three
  // columns, the others written as the archive writes them.
  const std::string_view written = "  12.345";
  for (std::size_t field = 0; field < 3; ++field) {
    each_text(" -07+./:", 3, [&](std::string_view prefix) {
      std::string columns = std::string(written) + "-999.000" + "1234.567";
      std::copy(prefix.begin(), prefix.end(), columns.begin() + static_cast<std::ptrdiff_t>(8 * field));
      const bool as_written = three_F8_as_written(columns);
      ASSERT_EQ(as_written, coordinate_prefix(prefix)) << '"' << columns << '"';
      if (as_written) {
        ASSERT_TRUE(same_as_read_F(columns.substr(8 * field, 8))) << '"' << columns << '"';
      }
    });
  }
  // Every value of seven digits as written, some of them.
  std::uint32_t state = 2024;
  for (int i = 0; i < 100'000; ++i) {
    state = state * 1664525U + 1013904223U;
    const std::uint32_t thousandths = (state >> 4) % 10'000'000U;
    const bool negative = (state & 1U) != 0 && thousandths < 1'000'000U;  // room for the minus
    std::string decimals = std::to_string(1000 + thousandths % 1000).substr(1);
    std::string field = (negative ? "-" : "") + std::to_string(thousandths / 1000) + "." + decimals;
    field.insert(0, 8 - field.size(), ' ');
    ASSERT_TRUE(same_as_read_F(field)) << '"' << field << '"';
  }
  // Past the first three columns only a digit, the point in the fifth.
  const std::string_view not_written[] = {"  12.34   1.000   1.000", "  12,345   1.000   1.000",
                                          "   1.000  12.3450  1.000", "   1.000   1.000 1234.5X",
                                          "   1.000   1.000    1234"};
  for (const std::string_view text : not_written) EXPECT_FALSE(three_F8_as_written(text)) << '"' << text << '"';
}

}  // namespace
