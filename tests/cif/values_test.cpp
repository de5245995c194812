// The values of a loop read a row at a time give what they give read one by
// one, wherever they fall on the 64-byte chunks.

#include "cif/values.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "cif/text.hpp"

namespace {

using cif::Values;

// A loop's values: plain words of 1 to 150 characters (so that some run on
// over one or two blocks), now and then quoted values, text fields,
// comments and bytes CIF allows only in quotes, blanks of every kind; then
// a tag, or the end of the text.
std::string loop_values(std::mt19937& random, int values, bool odd) {
  const std::string letters = "ATOMCA0123456789.-?";
  std::string text = "loop_\n_a.b\n";
  for (int v = 0; v < values; ++v) {
    const auto kind = odd ? random() % 40 : 0;
    if (kind == 1) {
      text += "'a b'";
    } else if (kind == 2) {
      text += "\"O5'\"";
    } else if (kind == 3) {
      text += "\n;a text\nfield\n;";
    } else if (kind == 4) {
      text += "# a comment\n";
      --v;
    } else if (kind == 5) {
      text += "a\x01";
    } else {
      const auto length = random() % 8 == 0 ? 1 + random() % 150 : 1 + random() % 8;
      for (std::size_t i = 0; i < length; ++i) text += letters[random() % letters.size()];
    }
    text += " \t\n\r"[random() % 4];
    if (random() % 3 == 0) text += std::string(random() % 70, ' ');
  }
  if (random() % 2 == 0) text += "\n_c.d 1\n";
  return text;
}

// Every value one by one, then the outcome: the values, or the error.
std::vector<std::string> one_by_one(const std::string& text) {
  std::vector<std::string> seen;
  try {
    Values values(text, text.find('\n', 6) + 1);
    for (std::string_view value = values.next(); !Values::end(value); value = values.next()) seen.emplace_back(value);
  } catch (const cif::SyntaxError&) {
    seen.emplace_back("(not CIF)");
  }
  return seen;
}

// The same a row of `columns` at a time; a row cut short ends the list.
std::vector<std::string> by_rows(const std::string& text, std::size_t columns, bool& plain_rows_are_plain) {
  std::vector<std::string> seen;
  std::vector<std::string_view> row(columns);
  std::vector<std::string_view*> into;
  // The values go to the row in another order than they come.
  for (std::size_t i = 0; i < columns; ++i) into.push_back(&row[columns - 1 - i]);
  try {
    Values values(text, text.find('\n', 6) + 1);
    for (;;) {
      const std::size_t read = values.read_into(into.data(), columns);
      for (std::size_t i = 0; i < read; ++i) seen.emplace_back(*into[i]);
      if (read < columns) break;
      if (values.row_plain()) {
        for (const std::string_view value : row) {
          if (cif::value_of(value) != value || value.front() == ';') plain_rows_are_plain = false;
        }
      }
    }
  } catch (const cif::SyntaxError&) {
    seen.emplace_back("(not CIF)");
  }
  return seen;
}

TEST(CifValues, RowsHoldWhatTheValuesOneByOneHold) {
  std::mt19937 random(19);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = loop_values(random, 1 + static_cast<int>(random() % 200), round % 2 == 1);
    const std::vector<std::string> expected = one_by_one(text);
    for (const std::size_t columns : {1U, 3U, 21U}) {
      bool plain = true;
      const std::vector<std::string> found = by_rows(text, columns, plain);
      // Whole rows agree; a last row cut short may hold fewer values, or
      // stop at the error.
      std::size_t whole = expected.size() / columns * columns;
      if (!expected.empty() && expected.back() == "(not CIF)") whole = (expected.size() - 1) / columns * columns;
      ASSERT_GE(found.size(), whole) << "round " << round << ", " << columns << " columns";
      for (std::size_t i = 0; i < whole; ++i) {
        ASSERT_EQ(found[i], expected[i]) << "round " << round << ", " << columns << " columns, value " << i;
      }
      if (!expected.empty() && expected.back() == "(not CIF)" && found.size() > whole) {
        EXPECT_EQ(found.back(), "(not CIF)") << "round " << round << ", " << columns << " columns";
      }
      EXPECT_TRUE(plain) << "round " << round << ": a row told plain held a quoted value or a text field";
    }
  }
}

}  // namespace
