// HELICES: the atoms of one type inside the alpha helices.

#include <cstdio>

#include "run_reading.hpp"

namespace {

using testing_support::Atom;
using testing_support::EntryText;
using testing_support::helix_record;
using testing_support::numbered;
using testing_support::operator+;
using testing_support::Residues;
using testing_support::residues_of;

using Helices = testing_support::ReadingTest;

// The listing lines of EntryText::add_chain's alpha carbons.
std::string listing(int first_number, int first, int last) {
  std::string text;
  for (int r = first; r <= last; ++r) {
    char line[64];
    std::snprintf(line, sizeof line, "  %5d%6d%8.3f%8.3f%8.3f\n", first_number++, r, r * 1.5, -r * 0.25, 10.0);
    text += line;
  }
  return text;
}

std::string announcement(int span) {
  char line[96];
  std::snprintf(line, sizeof line, "   There are %10d carbon atoms located in the alpha helix of chain A\n", span);
  return std::string(line) +
         " \n"
         "   The carbon atoms have the following coordinates:\n"
         " \n"
         "       #   SEQ   x [A]   y [A]   z [A]\n"
         " \n";
}

TEST_F(Helices, WholeReportNumbersTheAtomsAcrossHelices) {
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 1, 10)).add(helix_record('A', 11, 22)).add_chain('A', 1, 25, 1);
  const auto result = helices(entry);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.console, std::string(testing_support::header_report) +
                                "   Right-handed alpha helix found in chain A\n"
                                "   Right-handed alpha helix found in chain A\n"
                                " \n"
                                "     2 helices found.\n"
                                " \n" +
                                announcement(10) + listing(1, 1, 10) + " \n" + announcement(12) + listing(11, 11, 22) +
                                " \n");
  ASSERT_TRUE(result.atoms.has_value());
  EXPECT_EQ(residues_of(*result.atoms), numbered(1, 22));
}

TEST_F(Helices, WhichHelicesAndAtomsAreCollected) {
  struct Case {
    std::string_view what;
    EntryText entry;
    Residues residues;
    std::string_view helices_found = "";
  };
  std::vector<Case> cases;
  const auto chain_a = [](EntryText& entry) { entry.add_chain('A', 1, 30, 1); };

  cases.push_back({"in the order of the HELIX records", EntryText::with_header(), numbered(11, 22) + numbered(1, 10)});
  cases.back().entry.add(helix_record('A', 11, 22)).add(helix_record('A', 1, 10));
  chain_a(cases.back().entry);

  cases.push_back({"only the first run of HELIX records", EntryText::with_header(), numbered(1, 5) + numbered(6, 10),
                   "     2 helices found."});
  cases.back().entry.add(helix_record('A', 1, 5)).add(helix_record('A', 6, 10)).add("SHEET");
  cases.back().entry.add(helix_record('A', 11, 15));
  chain_a(cases.back().entry);

  cases.push_back({"other classes inside the run", EntryText::with_header(), numbered(1, 5) + numbered(9, 12),
                   "     2 helices found."});
  cases.back().entry.add(helix_record('A', 1, 5)).add(helix_record('A', 6, 8, " 5"));
  cases.back().entry.add(helix_record('A', 9, 12, " 6"));
  chain_a(cases.back().entry);

  cases.push_back({"a helix in chain B", EntryText::with_header(), numbered(3, 6, 'B')});
  cases.back().entry.add(helix_record('B', 3, 6));
  cases.back().entry.add_chain('A', 1, 10, 1).add_chain('B', 1, 10, 100);

  cases.push_back({"an end before the start", EntryText::with_header(), numbered(2, 4)});
  cases.back().entry.add(helix_record('A', 5, 3)).add(helix_record('A', 2, 4));
  chain_a(cases.back().entry);

  cases.push_back({"alternate locations and a missing atom", EntryText::with_header(), Residues{{1, 'A'}, {3, 'A'}}});
  cases.back().entry.add(helix_record('A', 1, 3)).add(Atom{1, " CA ", 'A', 1}).add(Atom{2, " CA ", 'A', 1});
  cases.back().entry.add(Atom{3, " N  ", 'A', 2}).add(Atom{4, " CA ", 'A', 3});

  // The scan ends at the first atom of the end residue, so only residues
  // before it can add atoms.
  cases.push_back(
      {"insertion codes add atoms", EntryText::with_header(), Residues{{1, 'A'}, {2, 'A'}, {2, 'A'}, {3, 'A'}}});
  cases.back().entry.add(helix_record('A', 1, 3)).add(Atom{1, " CA ", 'A', 1}).add(Atom{3, " CA ", 'A', 2});
  cases.back().entry.add(Atom{5, " CA ", 'A', 2, 0, 0, 0, "ATOM  ", 'A'}).add(Atom{7, " CA ", 'A', 3});
  cases.back().entry.add(Atom{9, " CA ", 'A', 3, 0, 0, 0, "ATOM  ", 'A'});

  for (const auto& c : cases) {
    const auto result = helices(c.entry);
    EXPECT_EQ(result.failure, "") << c.what;
    ASSERT_TRUE(result.atoms.has_value()) << c.what;
    EXPECT_EQ(residues_of(*result.atoms), c.residues) << c.what;
    if (!c.helices_found.empty()) {
      EXPECT_NE(result.console.find(c.helices_found), std::string::npos) << c.what;
    }
  }
}

TEST_F(Helices, ClassesAreReportedByTheirHandedness) {
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 1, 2, " 6")).add(helix_record('A', 3, 4)).add_chain('A', 1, 5, 1);
  const auto console = helices(entry).console;
  EXPECT_NE(console.find("   Left-handed alpha helix foundin chain A\n"
                         "   Right-handed alpha helix found in chain A\n"
                         " \n"
                         "     2 helices found.\n"),
            std::string::npos);
}

TEST_F(Helices, AnEntryWithoutAlphaHelicesIsLeftAbsent) {
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 1, 5, " 5")).add_chain('A', 1, 5, 1);
  const auto result = helices(entry);
  EXPECT_FALSE(result.atoms.has_value());
  EXPECT_TRUE(result.console.ends_with("   No alpha helices in this file !!\n \n"));
}

TEST_F(Helices, QuietRunWritesNothingAndCollectsTheSame) {
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 2, 4)).add_chain('A', 1, 6, 1);
  const auto quiet = helices(entry, {.verbose = false});
  EXPECT_EQ(quiet.console, "");
  EXPECT_EQ(quiet.atoms, helices(entry).atoms);
}

TEST_F(Helices, FailuresEndTheRunAfterWhatWasShown) {
  const std::string eof = "extract: severe (24): end-of-file during read, unit 1, file PDB/test.pdb";
  const std::string conversion = "extract: severe (64): input conversion error, unit 1, file PDB/test.pdb";
  struct Case {
    std::string_view what;
    std::string helix;
    std::string failure;
    std::string_view atom_type = " CA ";
  };
  const Case cases[] = {
      {"an end residue that never shows", helix_record('A', 4, 12), eof},
      {"an atom type found nowhere", helix_record('A', 1, 2), eof, " XX "},
      {"a letter in the start", "HELIX    1   1 ALA A    X  ALA A    5  1", conversion},
      {"a letter in an unused class record", "HELIX    1   1 ALA A    X  ALA A    5  5\n" + helix_record('A', 1, 2),
       ""},
  };
  for (const auto& c : cases) {
    auto entry = EntryText::with_header();
    entry.add(c.helix).add_chain('A', 1, 10, 1).add("ATOM     99  CA  ALA B   1    bad");
    const auto result = helices(entry, {.atom_type = c.atom_type});
    EXPECT_EQ(result.failure, c.failure) << c.what;
  }
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 9, 12)).add_chain('A', 1, 10, 1);
  const auto shown = helices(entry);
  EXPECT_TRUE(shown.console.ends_with(listing(1, 9, 10))) << "the atoms found before the end of the file are listed";
}

}  // namespace
