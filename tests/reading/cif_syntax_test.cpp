// The project's CIF reader against gemmi's: the same blocks, tags and values
// on every mmCIF file of ../shared/pdbx and on small texts made to sit on
// the edges of the grammar, or the same verdict that a text is not CIF.

#include <gtest/gtest.h>

#include "archive_entries.hpp"
#include "cif_documents.hpp"
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
  struct Case {
    std::string_view what;
    std::string_view text;
    bool cif;
  };
  const Case cases[] = {
      {"pairs and a loop", "data_a\n_x.y 1\nloop_\n_l.a\n_l.b\n1 2\n3 4\n", true},
      {"reserved words in any case", "DATA_a\nLoop_ _l.a 1 2 STOP_\n_x.y 1\n", true},
      {"quotes that do not end a value", "data_a _x.y 'it's' _x.z \"a\"b\"\n", true},
      {"a quote ends before a comment", "data_a _x.y 'q'#comment\n_x.z 2\n", true},
      {"values with quotes inside", "data_a loop_ _a.b O5' C5'' \"O3'\"\n", true},
      {"a text field", "data_a\n_x.y\n;line one\n _not.a.tag\n;\n_x.z 1\n", true},
      {"a semicolon not at a line start", "data_a _x.y ;value\n", true},
      {"an empty text field", "data_a\n_x.y\n;\n;\n", true},
      {"comments everywhere", "# first\ndata_a # block\n_x.y # tag\n1 # value\n", true},
      {"comments right after reserved words", "data_a loop_#c\n_l.a 1 stop_#c\nglobal_#c\n_x.y 1\n", true},
      {"a comment right after a frame's end", "data_a save_f _x.y 1 save_#c\n_x.z 2\n", true},
      {"a frame named from a #", "data_a save_#f _x.y 1 save_\n", true},
      {"any byte in a comment right after a reserved word", "data_a loop_#\xda\n_l.a 1\n", true},
      {"carriage returns", "data_a\r\n_x.y 1\r\nloop_\r\n_l.a\r\n'q' \r\n", true},
      {"an empty loop before a block", "data_a loop_ _l.a _l.b\ndata_b _x.y 1\n", true},
      {"an empty loop at the end", "data_a loop_ _l.a _l.b stop_\n", true},
      {"a bare data_", "data_ _x.y 1\n", true},
      {"global_", "global_ _x.y 1\ndata_b _x.y 2\n", true},
      {"a save frame", "data_a save_f _x.y 1 loop_ _l.a 1 save_ _x.z 2\n", true},
      {"brackets and odd words", "data_a _x.y [1] _x.z a;b#c\n", true},
      {"bytes past ASCII in quotes and comments", "data_a _x.y '\xc3\x85ngstr\xc3\xb6m' # \xff\n", true},
      {"nothing", "", true},
      {"only a comment", "# nothing here\n", true},
      {"text before the first block", "_x.y 1\ndata_a\n", false},
      {"a quote not closed on its line", "data_a _x.y 'open\n'\n", false},
      {"a text field not closed", "data_a _x.y\n;open\n", false},
      {"text right after a text field", "data_a _x.y\n;a\n;b\n", false},
      {"a loop whose values do not fill its rows", "data_a loop_ _l.a _l.b 1 2 3\n", false},
      {"a tag without a value", "data_a _x.y\n_x.z 1\n", false},
      {"a tag without a value at the end", "data_a _x.y\n", false},
      {"a loop tag at the very end", "data_a loop_ _l.a", false},
      {"a value without a tag", "data_a 1\n", false},
      {"a loop without tags", "data_a loop_ 1\n", false},
      {"a word that begins like loop_", "data_a _x.y 1 loop_x\n", false},
      {"stop_ after no loop", "data_a _x.y 1 stop_\n", false},
      {"a value that begins with $", "data_a _x.y $f\n", false},
      {"a byte past ASCII outside quotes", "data_a _x.y \xc3\x85\n", false},
      {"a control character", "data_a _x.y a\x01b\n", false},
      {"a save frame not closed", "data_a save_f _x.y 1\n", false},
      {"save_ outside a frame", "data_a save_\n", false},
      {"a save frame inside a frame", "data_a save_f save_g _x.y 1 save_ save_\n", false},
      {"a bare underscore", "data_a _ 1\n", false},
  };
  for (const Case& c : cases) {
    std::string their_error;
    std::string our_error;
    const auto theirs = read_with_gemmi(c.text, &their_error);
    const auto ours = read_with_extract(c.text, &our_error);
    EXPECT_EQ(theirs.has_value(), c.cif) << c.what << ": gemmi says " << their_error;
    EXPECT_EQ(ours.has_value(), c.cif) << c.what << ": " << our_error;
    if (ours && theirs) {
      EXPECT_EQ(first_difference(*ours, *theirs), "") << c.what;
    }
  }
}

}  // namespace
