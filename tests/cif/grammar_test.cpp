// The reader on the edges of the grammar: each text read as CIF, or refused
// on its line for its reason, as the table says.

#include <gtest/gtest.h>

#include "cif_documents.hpp"
#include "grammar_cases.hpp"

namespace {

TEST(CifGrammar, EachTextIsReadOrRefusedOnItsLineForItsReason) {
  for (const GrammarCase& c : grammar_cases) {
    std::string error;
    const auto document = testing_support::read_with_extract(c.text, &error);
    EXPECT_EQ(document.has_value(), c.error.empty()) << c.what << ": " << error;
    if (!document) {
      EXPECT_EQ(error, c.error) << c.what;
    }
  }
}

}  // namespace
