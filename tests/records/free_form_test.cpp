// Free-form reading of the console answers.

#include <gtest/gtest.h>

#include "records/failures.hpp"
#include "records/free_form.hpp"
#include "records/pause.hpp"
#include "test_doubles.hpp"

namespace {

using records::Failure;
using records::IoError;
using testing_support::TextLines;

Failure failure_of(auto&& read) {
  try {
    read();
  } catch (const IoError& error) {
    return error.failure();
  }
  ADD_FAILURE() << "no failure";
  return Failure::out_of_memory;
}

struct IntegerAnswer {
  std::string_view input;
  std::int32_t value;  // starting from 99
};

TEST(FreeFormInteger, Values) {
  const IntegerAnswer cases[] = {
      {"  2\n", 2},     {"2 3\n", 2},   {"\n\n   \n 5\n", 5}, {"+4\n", 4},     {"-1\n", -1},
      {"2,3\n", 2},     {"2/\n", 2},    {"7", 7},              {"1\r\n", 1},    {"\t3\n", 3},
      {"/\n", 99},      {",7\n", 99},   {" / 5\n", 99},
  };
  for (const auto& c : cases) {
    TextLines in(c.input);
    std::int32_t value = 99;
    records::read_free(in, value);
    EXPECT_EQ(value, c.value) << '"' << c.input << '"';
  }
}

TEST(FreeFormInteger, SyntaxErrorsAndTheEndOfInput) {
  const std::string_view syntax_errors[] = {"abc\n", "2.5\n", "2*3\n", "2;\n", "+\n", "0x10\n", "99999999999\n"};
  for (const auto input : syntax_errors) {
    TextLines in(input);
    std::int32_t value = 0;
    EXPECT_EQ(failure_of([&] { records::read_free(in, value); }), Failure::list_directed_syntax) << input;
  }
  for (const auto input : {"", "\n  \n"}) {
    TextLines in(input);
    std::int32_t value = 0;
    EXPECT_EQ(failure_of([&] { records::read_free(in, value); }), Failure::end_of_file) << input;
  }
}

struct CharacterAnswer {
  std::string_view input;
  std::string_view value;  // of a 12-character variable starting as "unchanged"
};

TEST(FreeFormCharacters, QuotedAndUnquotedValues) {
  const CharacterAnswer cases[] = {
      {"1abc.pdb\n", "1abc.pdb    "},
      {"  1abc.pdb  rest\n", "1abc.pdb    "},
      {"1abc.pdb,2\n", "1abc.pdb    "},
      {"a/b\n", "a           "},
      {"'my file.pdb'\n", "my file.pdb "},
      {"\"a,b/c\"\n", "a,b/c       "},
      {"'it''s'\n", "it's        "},
      {"\"say \"\"hi\"\"\"\n", "say \"hi\"    "},
      {"'ab\ncd'\n", "abcd        "},  // a quoted value goes on over the line end
      {"abcdefghijklmn\n", "abcdefghijkl"},
      {"\n\nx\n", "x           "},
      {"/\n", "unchanged   "},
      {",x\n", "unchanged   "},
  };
  for (const auto& c : cases) {
    TextLines in(c.input);
    records::Chars<12> value("unchanged");
    records::read_free(in, value);
    EXPECT_EQ(value.view(), c.value) << '"' << c.input << '"';
  }
}

TEST(FreeFormCharacters, ShortVariablesKeepTheFirstCharacters) {
  TextLines in("CA12\nN\n");
  records::Chars<3> first;
  records::Chars<3> second;
  records::read_free(in, first);
  records::read_free(in, second);
  EXPECT_EQ(first, "CA1");
  EXPECT_EQ(second, "N  ");
}

TEST(FreeFormCharacters, AnUnclosedQuoteReadsOnToTheEndOfInput) {
  TextLines in("'abc\n");
  records::Chars<3> value;
  EXPECT_EQ(failure_of([&] { records::read_free(in, value); }), Failure::end_of_file);
}

TEST(FreeForm, EachReadStartsOnANewLine) {
  TextLines in("1 2 3\nCA extra\n2\n");
  std::int32_t how_many = 0;
  records::Chars<3> atom;
  std::int32_t mode = 0;
  records::read_free(in, how_many);
  records::read_free(in, atom);
  records::read_free(in, mode);
  EXPECT_EQ(how_many, 1);
  EXPECT_EQ(atom, "CA ");
  EXPECT_EQ(mode, 2);
}

}  // namespace
