// BACKBONES: the atoms of one type along the first chain.

#include "run_reading.hpp"

namespace {

using testing_support::Atom;
using testing_support::EntryText;
using testing_support::numbered;
using testing_support::Residues;
using testing_support::residues_of;
using testing_support::seqres_record;

using Backbones = testing_support::ReadingTest;

EntryText entry_with_seqres(int residue_count) {
  auto entry = EntryText::with_header();
  entry.add(seqres_record('A', residue_count));
  return entry;
}

TEST_F(Backbones, WholeReportOfAChainEndedByItsLastResidue) {
  auto entry = entry_with_seqres(3);
  entry.add_chain('A', 1, 3, 1);
  // Never read: the scan stops at the alpha carbon of residue 3.
  entry.add("ATOM      7  CA  ALA A   4     not a number");
  const auto result = backbones(entry);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.console, std::string(testing_support::header_report) +
                                "   There are          3 residues in the backbone.\n"
                                " \n"
                                "   The carbon atoms have the following coordinates:\n"
                                " \n"
                                "       #   SEQ   x [A]   y [A]   z [A]\n"
                                " \n"
                                "      1     1   1.500  -0.250  10.000\n"
                                "      2     2   3.000  -0.500  10.000\n"
                                "      3     3   4.500  -0.750  10.000\n"
                                " \n");
  ASSERT_TRUE(result.atoms.has_value());
  EXPECT_EQ(result.atoms->front(), (reading::AtomEntry{1, 1.5F, -0.25F, 10.0F, 'A'}));
  EXPECT_EQ(residues_of(*result.atoms), numbered(1, 3));
}

TEST_F(Backbones, WhereTheChainEnds) {
  struct Case {
    std::string_view what;
    EntryText entry;
    Residues residues;
  };
  const auto ter = "TER      61      ALA A  30";
  std::vector<Case> cases;
  cases.push_back({"the last alpha carbon missing, then TER", entry_with_seqres(5), numbered(1, 4)});
  cases.back().entry.add_chain('A', 1, 4, 1).add(Atom{9, " N  ", 'A', 5}).add(ter);

  cases.push_back({"chain B after TER", entry_with_seqres(30), numbered(1, 4)});
  cases.back().entry.add_chain('A', 1, 4, 1).add(ter).add_chain('B', 1, 4, 20);

  cases.push_back({"chain B renumbered without TER", entry_with_seqres(30), numbered(1, 4)});
  cases.back().entry.add_chain('A', 1, 4, 1).add_chain('B', 1, 4, 20);

  cases.push_back({"chain B numbered on upward without TER", entry_with_seqres(30), numbered(1, 4)});
  cases.back().entry.add_chain('A', 1, 4, 1).add_chain('B', 5, 6, 20);
  cases.back().residues.push_back({5, 'B'});
  cases.back().residues.push_back({6, 'B'});

  cases.push_back({"the first model's first chain", entry_with_seqres(30), numbered(1, 3)});
  cases.back().entry.add("MODEL        1").add_chain('A', 1, 3, 1).add(ter).add_chain('B', 1, 3, 10).add(ter);
  cases.back().entry.add("ENDMDL").add("MODEL        2").add_chain('A', 1, 3, 1).add(ter).add("ENDMDL");

  cases.push_back({"the end of the file", entry_with_seqres(30), numbered(1, 4)});
  cases.back().entry.add_chain('A', 1, 4, 1);

  cases.push_back({"a negative first residue", entry_with_seqres(30), {}});
  cases.back().entry.add_chain('A', -2, 3, 1);

  cases.push_back({"more residues than SEQRES counts", entry_with_seqres(150), numbered(201, 400)});
  cases.back().entry.add_chain('A', 201, 400, 1).add(ter);

  cases.push_back({"a count of zero", entry_with_seqres(0), numbered(1, 3)});
  cases.back().entry.add_chain('A', 1, 3, 1).add(ter);

  for (const auto& c : cases) {
    const auto result = backbones(c.entry);
    EXPECT_EQ(result.failure, "") << c.what;
    ASSERT_TRUE(result.atoms.has_value()) << c.what;
    EXPECT_EQ(residues_of(*result.atoms), c.residues) << c.what;
  }
}

TEST_F(Backbones, WhichRecordsAreStored) {
  auto entry = entry_with_seqres(30);
  entry.add(Atom{120, " CA ", 'A', 1, 1.0, 1.0, 1.0});
  entry.add(Atom{121, " CA ", 'A', 1, 9.0, 9.0, 9.0});  // location B of the same atom
  entry.add(Atom{122, " CB ", 'A', 1});
  entry.add(Atom{125, " CA ", 'A', 2, 2.0, 2.0, 2.0});
  entry.add(Atom{126, "CA  ", 'A', 3});                      // calcium, not an alpha carbon
  entry.add(Atom{127, " CA ", 'A', 2, 0, 0, 0, "HETATM"});   // never stored
  entry.add(Atom{128, " CA ", 'A', 99, 0, 0, 0, "HETATM"});  // and never changes the residue
  entry.add(Atom{130, " CA ", 'A', 4, 4.0, 4.0, 4.0});
  entry.add("TER");
  const auto result = backbones(entry);
  ASSERT_TRUE(result.atoms.has_value());
  EXPECT_EQ(*result.atoms, (reading::AtomList{{1, 1, 1, 1, 'A'}, {2, 2, 2, 2, 'A'}, {4, 4, 4, 4, 'A'}}));
}

TEST_F(Backbones, TheEndOfDataKeepsNoMoreThanTheLastResidueNumberSays) {
  // Insertion codes: five atoms in residues 1 to 3, then a drop.
  auto fewer = entry_with_seqres(30);
  fewer.add(Atom{1, " CA ", 'A', 1}).add(Atom{3, " CA ", 'A', 2}).add(Atom{5, " CA ", 'A', 2, 0, 0, 0, "ATOM  ", 'A'});
  fewer.add(Atom{7, " CA ", 'A', 2, 0, 0, 0, "ATOM  ", 'B'}).add(Atom{9, " CA ", 'A', 3}).add(Atom{11, " CA ", 'B', 1});
  const auto kept = backbones(fewer);
  ASSERT_TRUE(kept.atoms.has_value());
  EXPECT_EQ(residues_of(*kept.atoms), (Residues{{1, 'A'}, {2, 'A'}, {2, 'A'}}));

  // Numbered from 10: the last residue number exceeds the atoms stored,
  // and no entry that was never stored is handed back.
  auto gaps = entry_with_seqres(30);
  gaps.add_chain('A', 10, 12, 1).add_chain('B', 1, 1, 50);
  const auto all = backbones(gaps);
  ASSERT_TRUE(all.atoms.has_value());
  EXPECT_EQ(residues_of(*all.atoms), numbered(10, 12));
}

TEST_F(Backbones, QuietRunWritesOnlyTheEndOfDataLine) {
  auto at_end = entry_with_seqres(30);
  at_end.add_chain('A', 1, 2, 1);
  EXPECT_EQ(backbones(at_end, {.verbose = false}).console, " \n");
  auto at_ter = entry_with_seqres(30);
  at_ter.add_chain('A', 1, 2, 1).add("TER");
  EXPECT_EQ(backbones(at_ter, {.verbose = false}).console, "");
}

TEST_F(Backbones, OnlyConvertedNumbersCanFail) {
  const std::string conversion = "extract: severe (64): input conversion error, unit 1, file PDB/test.pdb";
  const std::string eof = "extract: severe (24): end-of-file during read, unit 1, file PDB/test.pdb";
  struct Case {
    std::string_view what;
    std::string tail;
    std::string failure;
  };
  const std::string chain = "ATOM      1  CA  ALA A   1       1.000   2.000   3.000\nTER\n";
  const Case cases[] = {
      {"no SEQRES", chain, eof},
      {"a letter in the SEQRES count", "SEQRES   1 A   7X\n" + chain, conversion},
      {"a blank SEQRES count", "SEQRES   1 A\n" + chain, ""},
      {"a letter in a coordinate", "SEQRES   1 A   10\nATOM      1  CA  ALA A   1       1.0x0   2.000   3.000\n",
       conversion},
      {"a letter in a serial", "SEQRES   1 A   10\nATOM     1X  CA  ALA A   1       1.000   2.000   3.000\n",
       conversion},
      // Only atoms of the chosen name are alternate locations of the one
      // before: the next serial's other atom is taken, its numbers read.
      {"a letter in the next atom's coordinate",
       "SEQRES   1 A   10\nATOM      1  CA  ALA A   1       1.000   2.000   3.000\n"
       "ATOM      2  C   ALA A   1       x.000   2.000   3.000\nTER\n",
       conversion},
      {"a letter in the next atom's residue",
       "SEQRES   1 A   10\nATOM      1  CA  ALA A   1       1.000   2.000   3.000\n"
       "ATOM      2  C   ALA A  1X       1.000   2.000   3.000\nTER\n",
       conversion},
      {"a letter in the next atom's serial",
       "SEQRES   1 A   10\nATOM      1  CA  ALA A   1       1.000   2.000   3.000\n"
       "ATOM     X2  C   ALA A   1       1.000   2.000   3.000\nTER\n",
       conversion},
      {"numbers read though not as the archive writes them",
       "SEQRES   1 A   10\nATOM     +1  CA  ALA A  +1      1.5     -2      3.0E0\n"
       "ATOM     2   C   ALA A -1         1.0     2.000   3.000\nTER\n",
       ""},
      {"a letter in a HETATM coordinate", "SEQRES   1 A   10\nHETATM    1  CA  ALA A   1       x.000\n" + chain, ""},
      {"a letter after the chain ended", "SEQRES   1 A   10\n" + chain + "ATOM      2  CA  ALA B   1     bad\n", ""},
      {"a letter in a second SEQRES", "SEQRES   1 A   10\nSEQRES   1 B   1X\n" + chain, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(testing_support::Routine::backbones, EntryText::with_header().text() + c.tail).failure, c.failure)
        << c.what;
  }
}

TEST_F(Backbones, TheResidueCountIsColumnsFourteenToSeventeen) {
  // The real entries' counts (70, 94, ...) read alike a column either way;
  // counts of four digits, and digits beside the field, do not.
  struct Case {
    std::string_view seqres;
    std::string_view count;  // as reported, I10
  };
  const Case cases[] = {
      {"SEQRES   1 A 1234  ALA ALA", "      1234"},
      {"SEQRES   1 A 9999", "      9999"},
      {"SEQRES   1 A51234  ALA", "      1234"},
      {"SEQRES   1 A 12345", "      1234"},
      {"SEQRES   1 A    7  ALA", "         7"},
  };
  for (const auto& c : cases) {
    auto entry = EntryText::with_header();
    entry.add(c.seqres).add_chain('A', 1, 2, 1);
    const auto result = backbones(entry);
    EXPECT_EQ(result.failure, "") << c.seqres;
    EXPECT_NE(result.console.find("   There are " + std::string(c.count) + " residues in the backbone.\n"),
              std::string::npos)
        << c.seqres;
  }
}

}  // namespace
