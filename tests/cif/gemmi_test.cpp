// The project's CIF reader against gemmi's: the same blocks, tags and values
// on every mmCIF file of ../shared/pdbx and on the texts on the edges of the
// grammar (grammar_cases.hpp), or the same verdict that a text is not CIF.

#include <gtest/gtest.h>

#include "archive_entries.hpp"
#include "cif_documents.hpp"
#include "grammar_cases.hpp"
#include "support.hpp"

namespace {

using testing_support::first_difference;
using testing_support::read_with_extract;
using testing_support::read_with_gemmi;

TEST(CifSyntax, EveryArchiveFileReadsAsGemmiReadsIt) {
  const auto dir = testing_support::archive_entries();
  if (!dir) GTEST_SKIP() << testing_support::no_archive_entries();
  for (const std::string& id : testing_support::mmcif_ids(*dir)) {
    const std::string text = testing_support::gunzip(testing_support::read_file(*dir / (id + ".cif.gz")));
    std::string error;
    const auto theirs = read_with_gemmi(text, &error);
    ASSERT_TRUE(theirs) << id << ": gemmi: " << error;
    const auto ours = read_with_extract(text, &error);
    ASSERT_TRUE(ours) << id << ": " << error;
    EXPECT_EQ(first_difference(*ours, *theirs), "") << id;
  }
}

// Texts on the edges of the grammar: both readers take each the same way,
// or both find it is not CIF.
TEST(CifSyntax, EdgesOfTheGrammarReadAsGemmiReadsThem) {
  for (const GrammarCase& c : grammar_cases) {
    std::string their_error;
    std::string our_error;
    const auto theirs = read_with_gemmi(c.text, &their_error);
    const auto ours = read_with_extract(c.text, &our_error);
    EXPECT_EQ(theirs.has_value(), c.error.empty()) << c.what << ": gemmi says " << their_error;
    EXPECT_EQ(ours.has_value(), c.error.empty()) << c.what << ": " << our_error;
    if (ours && theirs) {
      EXPECT_EQ(first_difference(*ours, *theirs), "") << c.what;
    }
  }
}

}  // namespace
