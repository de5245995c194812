// PDBx/mmCIF entries: read as the legacy file the archive derives from them,
// and holding in full what that file cannot.

#include <time.h>

#include <algorithm>
#include <csignal>

#include "cif/items.hpp"
#include "cif/values.hpp"
#include "event_in_child.hpp"
#include "mmcif_entry.hpp"
#include "mmcif_text.hpp"
#include "records/control_events.hpp"
#include "run_reading.hpp"

namespace {

using testing_support::Atom;
using testing_support::chain_rows;
using testing_support::EntryText;
using testing_support::Extraction;
using testing_support::HelixRow;
using testing_support::MmcifText;
using testing_support::numbered;
using testing_support::operator+;
using testing_support::Options;
using testing_support::Residues;
using testing_support::residues_of;
using testing_support::Routine;
using testing_support::SiteRow;

using Mmcif = testing_support::ReadingTest;

// An entry of the rules the legacy file follows from, written by hand in
// both formats: a category as pairs, quoted values and a text field, tags in
// upper case, the loop's columns in another order; HETATM rows in the
// polymer (MSE) with a two-letter element (SE), alternate locations, a
// "-0.000", waters and a calcium ion ("CA  ") after the chains, TER after
// each polymer chain only, helices of classes 1, 6 and 5 and a turn, a
// residue of two kinds (two rows for residue 3 in the sequence).
constexpr std::string_view rich_mmcif = R"(# written by hand
data_0TST
_entry.id   0TST
_STRUCT_KEYWORDS.entry_id        0TST
_Struct_Keywords.pdbx_keywords   'synthetic protein'
_pdbx_database_status.recvd_initial_deposition_date 2000-01-01
_struct.title
;An   entry built
for a test
;
_exptl.method 'X-RAY DIFFRACTION'
_refine.ls_d_res_high 1.997
loop_
_entity_poly.entity_id
_entity_poly.type
1 'polypeptide(L)'
2 'polypeptide(L)'
loop_
_pdbx_poly_seq_scheme.asym_id
_pdbx_poly_seq_scheme.pdb_strand_id
_pdbx_poly_seq_scheme.seq_id
A A 1
A A 2
A A 3
A A 3
A A 4
A A 5
A A 6
B B 1
loop_
_struct_conf.conf_type_id
_struct_conf.beg_auth_asym_id
_struct_conf.beg_auth_seq_id
_struct_conf.end_auth_seq_id
_struct_conf.pdbx_PDB_helix_class
HELX_P A 2 4 1
TURN_P A 4 5 ?
HELX_P B 1 3 6
HELX_P A 5 6 5
loop_
_ATOM_SITE.pdbx_PDB_model_num
_atom_site.Cartn_z
_atom_site.Cartn_y
_atom_site.Cartn_x
_atom_site.auth_atom_id
_atom_site.auth_asym_id
_atom_site.auth_seq_id
_atom_site.label_entity_id
_atom_site.label_asym_id
_atom_site.type_symbol
_atom_site.id
_atom_site.group_PDB
1 3.000 2.000 1.000 N A 1 1 A N 1 ATOM
1 10.000 -0.250 1.500 CA A 1 1 A C 2 ATOM
1 3.000 2.000 1.000 N A 2 1 A N 3 ATOM
1 10.000 -0.500 3.000 CA A 2 1 A C 4 ATOM
1 3.000 2.000 1.000 N A 3 1 A N 5 ATOM
1 10.000 -0.750 4.500 CA A 3 1 A C 6 ATOM
1 10.100 -0.700 4.600 CA A 3 1 A C 7 ATOM
1 3.000 2.000 1.000 N A 4 1 A N 8 HETATM
1 10.000 -1.000 6.000 CA A 4 1 A C 9 HETATM
1 11.000 -1.000 6.000 SE A 4 1 A SE 10 HETATM
1 3.000 2.000 1.000 N A 5 1 A N 11 ATOM
1 10.000 -1.250 7.500 CA A 5 1 A C 12 ATOM
1 3.000 2.000 1.000 N A 6 1 A N 13 ATOM
1 10.000 -1.500 -0.000 "CA" A 6 1 A C 14 ATOM
1 3.000 2.000 1.000 N B 1 2 B N 15 ATOM
1 10.000 -0.250 1.500 CA B 1 2 B C 16 ATOM
1 3.000 2.000 1.000 N B 2 2 B N 17 ATOM
1 10.000 -0.500 3.000 CA B 2 2 B C 18 ATOM
1 3.000 2.000 1.000 N B 3 2 B N 19 ATOM
1 10.000 -0.750 4.500 CA B 3 2 B C 20 ATOM
1 5.000 5.000 5.000 O A 101 3 C O 21 HETATM
1 6.000 6.000 6.000 CA B 201 4 D CA 22 HETATM
)";

EntryText rich_legacy() {
  auto entry = EntryText::with_header("    2.00 ANGSTROMS.");
  entry.add(testing_support::seqres_record('A', 6));
  entry.add(testing_support::helix_record('A', 2, 4)).add(testing_support::helix_record('B', 1, 3, " 6"));
  entry.add(testing_support::helix_record('A', 5, 6, " 5"));
  entry.add(Atom{1, " N  ", 'A', 1, 1.0, 2.0, 3.0}).add(Atom{2, " CA ", 'A', 1, 1.5, -0.25, 10.0});
  entry.add(Atom{3, " N  ", 'A', 2, 1.0, 2.0, 3.0}).add(Atom{4, " CA ", 'A', 2, 3.0, -0.5, 10.0});
  entry.add(Atom{5, " N  ", 'A', 3, 1.0, 2.0, 3.0}).add(Atom{6, " CA ", 'A', 3, 4.5, -0.75, 10.0});
  entry.add(Atom{7, " CA ", 'A', 3, 4.6, -0.7, 10.1});
  entry.add(Atom{8, " N  ", 'A', 4, 1.0, 2.0, 3.0, "HETATM"}).add(Atom{9, " CA ", 'A', 4, 6.0, -1.0, 10.0, "HETATM"});
  entry.add(Atom{10, "SE  ", 'A', 4, 6.0, -1.0, 11.0, "HETATM"});
  entry.add(Atom{11, " N  ", 'A', 5, 1.0, 2.0, 3.0}).add(Atom{12, " CA ", 'A', 5, 7.5, -1.25, 10.0});
  entry.add(Atom{13, " N  ", 'A', 6, 1.0, 2.0, 3.0}).add(Atom{14, " CA ", 'A', 6, 0.0, -1.5, 10.0});
  entry.add("TER      15      ALA A   6");
  entry.add(Atom{16, " N  ", 'B', 1, 1.0, 2.0, 3.0}).add(Atom{17, " CA ", 'B', 1, 1.5, -0.25, 10.0});
  entry.add(Atom{18, " N  ", 'B', 2, 1.0, 2.0, 3.0}).add(Atom{19, " CA ", 'B', 2, 3.0, -0.5, 10.0});
  entry.add(Atom{20, " N  ", 'B', 3, 1.0, 2.0, 3.0}).add(Atom{21, " CA ", 'B', 3, 4.5, -0.75, 10.0});
  entry.add("TER      22      ALA B   3");
  entry.add(Atom{23, " O  ", 'A', 101, 5.0, 5.0, 5.0, "HETATM"})
      .add(Atom{24, "CA  ", 'B', 201, 6.0, 6.0, 6.0, "HETATM"});
  return entry;
}

// Two models of one chain; the legacy file numbers each model from 1 and
// closes its chain with TER, the mmCIF ids run on. A helix whose end never
// shows in model 1 goes on into model 2.
MmcifText two_models_mmcif() {
  auto entry = MmcifText::with_header("", "'SOLUTION NMR'");
  entry.polymers().sequence("A", 3).helices({{"A", "2", "9"}});
  std::vector<SiteRow> rows = chain_rows("A", 1, 3);
  for (SiteRow row : chain_rows("A", 1, 3)) {
    row.model = "2";
    if (row.atom == "CA") row.x = "9.000";
    rows.push_back(row);
  }
  return entry.atoms(rows);
}

EntryText two_models_legacy() {
  EntryText entry;
  entry.add("HEADER    SYNTHETIC PROTEIN                       01-JAN-00   0TST              ");
  entry.add("TITLE     AN ENTRY BUILT FOR A TEST");
  entry.add("REMARK   2 RESOLUTION. NOT APPLICABLE.");
  entry.add(testing_support::seqres_record('A', 3)).add(testing_support::helix_record('A', 2, 9));
  for (const int model : {1, 2}) {
    entry.add("MODEL        " + std::to_string(model));
    for (int r = 1; r <= 3; ++r) {
      entry.add(Atom{2 * r - 1, " N  ", 'A', r, 1.0, 2.0, 3.0});
      entry.add(Atom{2 * r, " CA ", 'A', r, model == 1 ? r * 1.5 : 9.0, -r * 0.25, 10.0});
    }
    entry.add("TER       7      ALA A   3").add("ENDMDL");
  }
  return entry;
}

// An entity that _entity_poly does not list (old files write oligosaccharides
// so) ends no chain with TER: chain B follows chain A without one.
MmcifText no_polymer_mmcif() {
  auto entry = MmcifText::with_header();
  entry.polymers({"9"}).sequence("A", 30).helices({{"B", "2", "3"}});
  std::vector<SiteRow> rows = chain_rows("A", 1, 3);
  for (const SiteRow& row : chain_rows("B", 4, 6, "B", "2")) rows.push_back(row);
  return entry.atoms(rows);
}

EntryText no_polymer_legacy() {
  auto entry = EntryText::with_header();
  entry.add(testing_support::seqres_record('A', 30)).add(testing_support::helix_record('B', 2, 3));
  entry.add_chain('A', 1, 3, 1).add_chain('B', 4, 6, 7);
  return entry;
}

// A TER record takes a serial. Chain A is two polymers (label_asym_id A and
// B, as the archive splits a chain at times), so a TER comes between them;
// the second opens with a CA and no N, two serials past the first's last CA
// and no alternate location of it.
MmcifText ter_between_chains_mmcif() {
  auto entry = MmcifText::with_header();
  entry.polymers().sequence("A", 6).helices({{"A", "1", "9"}});
  std::vector<SiteRow> rows = chain_rows("A", 1, 3);
  const std::vector<SiteRow> second = chain_rows("A", 4, 6, "B");
  rows.insert(rows.end(), second.begin() + 1, second.end());
  return entry.atoms(rows);
}

EntryText ter_between_chains_legacy() {
  auto entry = EntryText::with_header();
  entry.add(testing_support::seqres_record('A', 6)).add(testing_support::helix_record('A', 1, 9));
  entry.add_chain('A', 1, 3, 1).add("TER       7      ALA A   3");
  entry.add(Atom{8, " CA ", 'A', 4, 6.0, -1.0, 10.0}).add_chain('A', 5, 6, 9).add("TER      13      ALA A   6");
  return entry;
}

// Each model is numbered from 1 again: without TER records (no polymer), the
// CA that opens model 2 follows the CA that closes model 1, serial 1 after
// serial 6, and is taken.
MmcifText models_without_ter_mmcif() {
  auto entry = MmcifText::with_header("", "'SOLUTION NMR'");
  entry.polymers({"9"}).sequence("A", 3).helices({{"A", "1", "9"}});
  std::vector<SiteRow> rows = chain_rows("A", 1, 3);
  const std::vector<SiteRow> model_2 = chain_rows("A", 1, 3);
  for (auto row = model_2.begin() + 1; row != model_2.end(); ++row) {
    SiteRow copy = *row;
    copy.model = "2";
    rows.push_back(copy);
  }
  return entry.atoms(rows);
}

EntryText models_without_ter_legacy() {
  EntryText entry;
  entry.add("HEADER    SYNTHETIC PROTEIN                       01-JAN-00   0TST              ");
  entry.add("TITLE     AN ENTRY BUILT FOR A TEST");
  entry.add("REMARK   2 RESOLUTION. NOT APPLICABLE.");
  entry.add(testing_support::seqres_record('A', 3)).add(testing_support::helix_record('A', 1, 9));
  entry.add("MODEL        1").add_chain('A', 1, 3, 1).add("ENDMDL");
  entry.add("MODEL        2").add(Atom{1, " CA ", 'A', 1, 1.5, -0.25, 10.0}).add_chain('A', 2, 3, 2).add("ENDMDL");
  return entry;
}

TEST_F(Mmcif, ReadsAsTheLegacyFileOfTheSameEntry) {
  struct Twin {
    std::string_view what;
    std::string mmcif;
    std::string legacy;
  };
  const Twin twins[] = {
      {"rules of the records", std::string(rich_mmcif), rich_legacy().text()},
      {"two models", two_models_mmcif().text(), two_models_legacy().text()},
      {"no TER after an entity that is no polymer", no_polymer_mmcif().text(), no_polymer_legacy().text()},
      {"a TER record takes a serial", ter_between_chains_mmcif().text(), ter_between_chains_legacy().text()},
      {"each model numbered from 1", models_without_ter_mmcif().text(), models_without_ter_legacy().text()},
  };
  for (const Twin& twin : twins) {
    for (const Routine routine : {Routine::backbones, Routine::helices}) {
      for (const std::string_view atom_type : {" CA ", " N  ", "CA  ", " O  "}) {
        const Options options{true, atom_type, -1.0F};
        const Extraction legacy = run(routine, twin.legacy, options);
        const Extraction mmcif = run(routine, twin.mmcif, options);
        const std::string what = std::string(twin.what) + ", " +
                                 (routine == Routine::helices ? "helices" : "backbones") + ", [" +
                                 std::string(atom_type) + "]";
        EXPECT_EQ(mmcif.console, legacy.console) << what;
        EXPECT_EQ(mmcif.failure, legacy.failure) << what;
        EXPECT_EQ(mmcif.resolution, legacy.resolution) << what;
        EXPECT_EQ(mmcif.atoms, legacy.atoms) << what;
      }
    }
  }
}

TEST_F(Mmcif, TheRichEntryFindsWhatTheRulesSay) {
  const Extraction backbone = run(Routine::backbones, std::string(rich_mmcif));
  EXPECT_EQ(backbone.failure, "");
  // MSE is HETATM, the second alternate location is passed over, and the
  // "-0.000" is a zero.
  ASSERT_TRUE(backbone.atoms.has_value());
  EXPECT_EQ(residues_of(*backbone.atoms), (Residues{{1, 'A'}, {2, 'A'}, {3, 'A'}, {5, 'A'}, {6, 'A'}}));
  EXPECT_NE(backbone.console.find("      5     6   0.000  -1.500  10.000\n"), std::string::npos);
  EXPECT_NE(backbone.console.find("   The structure data has a resolution of 2.00 angstroems\n"), std::string::npos);
  const Extraction helices = run(Routine::helices, std::string(rich_mmcif));
  EXPECT_NE(helices.console.find("   Right-handed alpha helix found in chain A\n"
                                 "   Left-handed alpha helix foundin chain B\n \n     2 helices found.\n"),
            std::string::npos);
}

MmcifText named_chains_entry(std::string_view first, std::string_view second) {
  auto entry = MmcifText::with_header();
  entry.polymers({"1", "2"})
      .sequence(first, 4)
      .helices({{std::string(second), "2", "3"}, {std::string(first), "1", "2"}});
  std::vector<SiteRow> rows = chain_rows(first, 1, 4, "A", "1");
  for (const SiteRow& row : chain_rows(second, 1, 4, "B", "2")) rows.push_back(row);
  return entry.atoms(rows);
}

TEST_F(Mmcif, ChainNamesOfSeveralCharactersAreKeptWhole) {
  const MmcifText entry = named_chains_entry("AAAA", "B-2");
  const Extraction backbone = run(Routine::backbones, entry.text());
  ASSERT_TRUE(backbone.atoms.has_value()) << backbone.failure;
  EXPECT_EQ(residues_of(*backbone.atoms), numbered(1, 4, reading::ChainName("AAAA")));

  const Extraction helices = run(Routine::helices, entry.text());
  ASSERT_TRUE(helices.atoms.has_value()) << helices.failure;
  EXPECT_EQ(residues_of(*helices.atoms),
            numbered(2, 3, reading::ChainName("B-2")) + numbered(1, 2, reading::ChainName("AAAA")));
  EXPECT_NE(helices.console.find("   Right-handed alpha helix found in chain B-2\n"
                                 "   Right-handed alpha helix found in chain AAAA\n"),
            std::string::npos);
  EXPECT_NE(helices.console.find("   There are          2 carbon atoms located in the alpha helix of chain B-2\n"),
            std::string::npos);
}

TEST_F(Mmcif, AChainNameTheExportCannotHoldFailsTheEntry) {
  const std::string diagnostic = "extract: severe (70): chain name too long for its field, unit 1, file PDB/test.pdb";
  // Seven characters fill the export's field; eight do not fit it.
  EXPECT_EQ(run(Routine::backbones, named_chains_entry("ABCDEFG", "B").text()).failure, "");
  const std::string first_too_long = named_chains_entry("ABCDEFGH", "B").text();
  EXPECT_EQ(run(Routine::backbones, first_too_long).failure, diagnostic);
  EXPECT_EQ(run(Routine::helices, first_too_long).failure, diagnostic);
  // A chain that is never collected fails nothing.
  EXPECT_EQ(run(Routine::backbones, named_chains_entry("A", "ABCDEFGH").text()).failure, "");
}

TEST_F(Mmcif, WideValuesAreReadInFull) {
  // A chain numbered past 4 digits, holding a residue with a 5-character
  // code, and past 99,999 records: the serials 100,002 and 100,003 of two
  // alternate locations are consecutive (a legacy file has no columns for
  // them).
  auto entry = MmcifText::with_header();
  entry.polymers().sequence("A", 50'003);
  std::vector<SiteRow> rows = chain_rows("A", 1, 50'000);
  rows[20'000 * 2 + 1].comp = "BB87Q";
  for (SiteRow row : chain_rows("A", 50'001, 50'002)) {
    if (row.atom == "CA") row.x = "-1234.567";
    rows.push_back(row);
    // The second location of residue 50,001's alpha carbon.
    if (row.atom == "CA" && row.residue == "50001") rows.push_back(row);
  }
  rows[100'001].x = "0.000";
  entry.atoms(rows);
  const Extraction backbone = run(Routine::backbones, entry.text(), {false});
  ASSERT_TRUE(backbone.atoms.has_value()) << backbone.failure;
  ASSERT_EQ(backbone.atoms->size(), 50'002U);
  EXPECT_EQ(backbone.atoms->at(20'000).residue, 20'001);
  EXPECT_EQ(backbone.atoms->at(50'000).residue, 50'001);
  EXPECT_EQ(backbone.atoms->at(50'000).x, 0.0F);  // the first location
  EXPECT_EQ(backbone.atoms->at(50'001).residue, 50'002);
  EXPECT_EQ(backbone.atoms->at(50'001).x, -1234.567F);
}

TEST_F(Mmcif, WhatFailsTheEntry) {
  struct Case {
    std::string_view what;
    std::string text;
    Routine routine;
    std::string_view failure;  // the diagnostic from its number to the unit
  };
  // What comes before the atoms is read, and as many atom rows as the
  // routine takes.
  const auto with_atoms = [](MmcifText entry, std::string_view before_atoms = "") {
    entry.polymers().sequence("A", 3).helices({{"A", "1", "2"}}).add(before_atoms).atoms(chain_rows("A", 1, 3));
    return entry.text();
  };
  const auto atoms_with = [](const SiteRow& odd) {
    std::vector<SiteRow> rows = chain_rows("A", 1, 3);
    // After residue 2's N: its serial is no alternate location's.
    rows.insert(rows.begin() + 3, odd);
    return MmcifText::with_header().polymers().sequence("A", 3).atoms(rows).text();
  };
  SiteRow bad_coordinate = chain_rows("A", 2, 2)[1];
  bad_coordinate.y = "?";
  SiteRow bad_residue = chain_rows("A", 2, 2)[1];
  bad_residue.residue = "2a";
  const std::string good = with_atoms(MmcifText::with_header());
  std::string no_z = good;
  no_z.replace(no_z.find("_atom_site.Cartn_z"), 18, "_atom_site.Cartn_w");
  std::string mixed = good;
  mixed.replace(mixed.find("_atom_site.label_entity_id"), 26, "_atom_data.label_entity_id");
  std::string bad_helix = good;
  bad_helix.replace(bad_helix.find("HELX_P H1 A 1"), 13, "HELX_P H1 A x");
  // The last row without its last value, or with a quote not closed.
  std::string cut_short = good;
  cut_short.erase(cut_short.rfind(" 1\n#\n"), 2);
  std::string open_quote = good;
  open_quote.replace(open_quote.rfind(" ALA A CA 1\n"), 5, " 'ALA");

  const std::string_view eof = "24): end-of-file during read";
  const std::string_view not_a_number = "64): input conversion error";
  const Case cases[] = {
      {"a quote not closed", with_atoms(MmcifText::with_header().add("_struct.pdbx_descriptor 'open\n")),
       Routine::backbones, "71): malformed mmCIF data, line 20: a quoted value not closed on its line"},
      {"a text field not closed", with_atoms(MmcifText::with_header(), "_struct.pdbx_descriptor\n;open\n"),
       Routine::helices, "71): malformed mmCIF data, line 46: a text field not closed"},
      {"a loop whose values do not fill its rows", with_atoms(MmcifText::with_header(), "loop_\n_x.a\n_x.b\n1 2 3\n"),
       Routine::backbones, "71): malformed mmCIF data, line 48: loop values that do not fill its rows"},
      {"the last atom row cut short", cut_short, Routine::backbones,
       "71): malformed mmCIF data, line 66: loop values that do not fill its last row"},
      {"a quote not closed in an atom row", open_quote, Routine::backbones,
       "71): malformed mmCIF data, line 66: a quoted value not closed on its line"},
      {"no _atom_site", MmcifText::with_header().polymers().sequence("A", 3).text(), Routine::backbones,
       "71): malformed mmCIF data, no _atom_site category"},
      {"no Cartn_z", no_z, Routine::helices,
       "71): malformed mmCIF data, line 46: an _atom_site item the records need is missing"},
      {"an item given twice", with_atoms(MmcifText::with_header().add("_struct.title again\n")), Routine::helices,
       "71): malformed mmCIF data, line 20: an item given twice"},
      {"_entity_poly twice", with_atoms(MmcifText::with_header(), "loop_\n_entity_poly.entity_id\n1\n"),
       Routine::backbones, "71): malformed mmCIF data, line 46: a category given twice"},
      {"a loop of _atom_site and another category", mixed, Routine::backbones,
       "71): malformed mmCIF data, line 52: a loop of several categories"},
      {"no resolution for X-ray data", with_atoms(MmcifText::with_header("")), Routine::helices, eof},
      {"an unknown resolution", with_atoms(MmcifText::with_header("?")), Routine::backbones, eof},
      {"no chain to count", MmcifText::with_header().polymers().atoms(chain_rows("A", 1, 3)).text(), Routine::backbones,
       eof},
      {"a resolution that is no number", with_atoms(MmcifText::with_header("high")), Routine::helices, not_a_number},
      {"an unknown coordinate", atoms_with(bad_coordinate), Routine::backbones, not_a_number},
      {"a residue number that is no number", atoms_with(bad_residue), Routine::backbones, not_a_number},
      {"a helix bound that is no number", bad_helix, Routine::helices, not_a_number},
  };
  for (const Case& c : cases) {
    const Extraction result = run(c.routine, c.text);
    EXPECT_EQ(result.failure, "extract: severe (" + std::string(c.failure) + ", unit 1, file PDB/test.pdb") << c.what;
  }
  // Text after the first data block is not the entry's.
  EXPECT_EQ(run(Routine::backbones, good + "data_other\n_x.y 'open\n").failure, "");
  // An entry is read as far as the routine needs, as a legacy entry is:
  // helix mode stops where its last helix ends (residue 2), backbone mode
  // at the end of the first chain, and what follows is never read.
  EXPECT_EQ(run(Routine::helices, cut_short).failure, "");
  EXPECT_EQ(run(Routine::backbones, good + "loop_\n_x.a\n_x.b\n1 2 3\n").failure, "");
  // Unless a category the routine reads comes only after the atoms.
  const std::string sequence_after = MmcifText::with_header().polymers().atoms(chain_rows("A", 1, 3)).text() +
                                     MmcifText().sequence("A", 3).text() + "loop_\n_x.a\n_x.b\n1 2 3\n";
  EXPECT_EQ(run(Routine::backbones, sequence_after).failure.substr(0, 22), "extract: severe (71): ");
}

// A row that lost or gained a value fails where it is, whatever value it
// is, in whichever loop the routine reads it, and however the routine ends:
// every later value would be read a column off. The next row may make up
// for it, so that the loop's values still fill its rows.
TEST_F(Mmcif, ARowWithAValueMissingOrOneTooManyFailsOnItsLine) {
  const std::string good = MmcifText::with_header()
                               .polymers()
                               .sequence("A", 3)
                               .helices({{"A", "1", "3"}, {"A", "2", "3"}, {"A", "1", "2"}})
                               .atoms(chain_rows("A", 1, 3))
                               .text();
  struct Case {
    std::string_view row;  // a whole line of `good`, with a row after it
    std::vector<Routine> routines;
    bool made_up;  // broken in pairs too: the loop's first row holds a row
    bool alone;    // broken alone too: the rows are read before the values are counted
  };
  const std::vector<Routine> both = {Routine::helices, Routine::backbones};
  // The first atom row, one in the middle, a residue of the first chain,
  // and a helix.
  const Case cases[] = {{"ATOM 1 N N ALA A 1 1.000 2.000 3.000 1 ALA A N 1\n", both, false, true},
                        {"ATOM 3 N N ALA A 1 1.000 2.000 3.000 2 ALA A N 1\n", both, true, true},
                        {"A 2 A\n", {Routine::backbones}, true, false},
                        {"HELX_P H2 A 2 A 3 1\n", {Routine::helices}, true, false}};
  for (const Case& c : cases) {
    const std::string_view row = c.row;
    const std::size_t at = good.find("\n" + std::string(row)) + 1;
    ASSERT_NE(at, 0U) << row;
    const std::size_t next_row = at + row.size();
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(good.begin(), good.begin() + at, '\n'));
    const std::string expected = "extract: severe (71): malformed mmCIF data, line " + std::to_string(line) +
                                 ": a row with a value missing or one too many, unit 1, file PDB/test.pdb";
    const auto expect_failure = [&](const std::string& text, std::string_view how, std::size_t value) {
      for (const Routine routine : c.routines) {
        EXPECT_EQ(run(routine, text).failure, expected) << how << " " << value << " of " << row;
      }
    };
    std::vector<std::size_t> starts{0};
    for (std::size_t blank = row.find(' '); blank != std::string_view::npos; blank = row.find(' ', blank + 1)) {
      starts.push_back(blank + 1);
    }
    for (std::size_t value = 0; value < starts.size(); ++value) {
      const std::size_t from = starts[value];
      const std::size_t length = row.find_first_of(" \n", from) + 1 - from;
      if (c.made_up) {
        // Made up for on the next row: a value more there, or one less.
        std::string missing = good;
        missing.insert(next_row, "X ");
        missing.erase(at + from, length);
        std::string extra = good;
        extra.erase(next_row, good.find_first_of(" \n", next_row) + 1 - next_row);
        extra.insert(at + from, "X ");
        expect_failure(missing, "without value, made up for,", value);
        expect_failure(extra, "with a value, made up for, before value", value);
      }
      if (c.alone) {
        std::string missing = good;
        missing.erase(at + from, length);
        std::string extra = good;
        extra.insert(at + from, "X ");
        expect_failure(missing, "without value", value);
        expect_failure(extra, "with a value before value", value);
      }
    }
  }
}

// _entity_poly without entity_id names no polymer: no atom is in one, and
// no TER record cuts a chain.
TEST_F(Mmcif, AnEntityPolyWithoutIdsNamesNoPolymer) {
  std::vector<SiteRow> rows = chain_rows("A", 1, 3, "A", ".");
  rows.front().label_chain = "X";  // a chain of its own, of no entity
  const std::string text =
      MmcifText::with_header().add("loop_\n_entity_poly.type\n'polypeptide(L)'\n").sequence("A", 3).atoms(rows).text();
  const Extraction result = run(Routine::backbones, text);
  ASSERT_TRUE(result.atoms.has_value()) << result.failure;
  EXPECT_EQ(residues_of(*result.atoms), numbered(1, 3));
}

// Reading an entry takes time in proportion to its size, whatever it is
// made of: entries made so that a lookup per item or per row would cost as
// much again as the items read so far take no more than their size says.
// (A ratio of two times on the same machine: eight times the entry takes
// about eight times as long, where such a lookup makes it sixty-four.)
TEST_F(Mmcif, EntriesOfAnyShapeReadInTimeProportionalToTheirSize) {
  struct Shape {
    std::string_view what;
    Routine routine;
    std::string (*entry)(int items);
  };
  const Shape shapes[] = {
      {"a category of many pairs", Routine::helices,
       [](int items) {
         auto entry = MmcifText::with_header();
         for (int i = 0; i < items; ++i) entry.add("_struct.item" + std::to_string(i) + " v\n");
         return entry.polymers().sequence("A", 2).helices({{"A", "1", "2"}}).atoms(chain_rows("A", 1, 2)).text();
       }},
      {"many chains and polymers to match", Routine::backbones,
       [](int items) {
         auto entry = MmcifText::with_header();
         std::string chains = "loop_\n_struct_asym.id\n_struct_asym.entity_id\n";
         std::string polymers = "loop_\n_entity_poly.entity_id\n";
         for (int i = 0; i < items; ++i) {
           chains += "C" + std::to_string(i) + " E" + std::to_string(i) + "\n";
           polymers += "P" + std::to_string(i) + "\n";
         }
         return entry.add(chains + polymers).atoms(chain_rows("A", 1, 2)).text();
       }},
      {"a chain for every atom", Routine::backbones,
       [](int items) {
         std::vector<std::string> entities;
         std::vector<SiteRow> rows;
         for (int i = 0; i < items; ++i) {
           entities.push_back("P" + std::to_string(i));
           rows.push_back(chain_rows("A", 1, 1, "L" + std::to_string(i), "E" + std::to_string(i))[0]);
         }
         return MmcifText::with_header().polymers(entities).sequence("A", 2).atoms(rows).text();
       }},
  };
  // The least processor time of a few runs: what other work on the machine
  // adds to a run, it adds to some runs and not to others.
  const auto seconds = [this](Routine routine, const std::string& text) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
      timespec start{};
      timespec end{};
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
      run(routine, text);
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
      best = std::min(best, static_cast<double>(end.tv_sec - start.tv_sec) +
                                1e-9 * static_cast<double>(end.tv_nsec - start.tv_nsec));
    }
    return best;
  };
  for (const Shape& shape : shapes) {
    const double small = seconds(shape.routine, shape.entry(4'000));
    const double large = seconds(shape.routine, shape.entry(32'000));
    EXPECT_LT(large, 32 * small) << shape.what << ": " << small << " s, then " << large << " s";
  }
}

TEST_F(Mmcif, TheResolutionFollowsTheMethod) {
  struct Case {
    std::string_view what;
    MmcifText header;
    std::string_view shown;
  };
  const Case cases[] = {
      {"X-ray, rounded", MmcifText::with_header("2.2010"), "resolution of 2.20 angstroems"},
      {"X-ray, rounded up", MmcifText::with_header("1.897"), "resolution of 1.90 angstroems"},
      {"X-ray, whole", MmcifText::with_header("3"), "resolution of 3.00 angstroems"},
      {"NMR", MmcifText::with_header("1.5", "'SOLUTION NMR'"), "No resolution specified !!! "},
      {"NMR in lower case", MmcifText::with_header("1.5", "'solution nmr'"), "No resolution specified !!! "},
      {"electron microscopy",
       MmcifText::with_header("1.5", "'ELECTRON MICROSCOPY'").add("_em_3d_reconstruction.resolution 3.456\n"),
       "resolution of 3.46 angstroems"},
      {"electron microscopy in lower case on two lines",
       MmcifText::with_header("1.5", "\n;electron\nmicroscopy\n;").add("_em_3d_reconstruction.resolution 3.456\n"),
       "resolution of 3.46 angstroems"},
  };
  for (Case c : cases) {
    c.header.polymers().sequence("A", 3).atoms(chain_rows("A", 1, 3));
    const Extraction result = run(Routine::backbones, c.header.text());
    EXPECT_NE(result.console.find(c.shown), std::string::npos) << c.what << ":\n" << result.console;
  }
}

TEST_F(Mmcif, TitleLinesAsTheLegacyHeaderShowsThem) {
  auto entry = MmcifText();
  entry.add("data_pdb_00017xsv\n_entry.id pdb_00017xsv\n_struct_keywords.pdbx_keywords Transferase/DNA\n");
  entry.add("loop_\n_database_PDB_rev.num\n_database_PDB_rev.date_original\n2 ?\n1 1981-04-30\n");
  entry.add("_struct.title\n;Crystal structures of PIM1 in complex with macrocyclic compounds and a word\n;\n");
  entry.add("_exptl.method 'SOLUTION NMR'\n").polymers().sequence("A", 3).atoms(chain_rows("A", 1, 3));
  const Extraction result = run(Routine::backbones, entry.text());
  // The extended id runs on past column 70, shown whole; the title is cut
  // where the legacy file wraps it, and shown to column 70.
  EXPECT_NE(result.console.find("   TRANSFERASE/DNA                         30-APR-81   pdb_00017xsv\n"
                                "   CRYSTAL STRUCTURES OF PIM1 IN COMPLEX WITH MACROCYCLIC COMPO\n"),
            std::string::npos)
      << result.console;

  // Values of any length are taken only as far as the records show them.
  const std::string giant(9'000'000, 'x');
  auto giants = MmcifText();
  giants.add("data_x\n_entry.id " + giant + "\n_struct_keywords.pdbx_keywords " + giant + "\n");
  giants.add("_struct.title '" + std::string(9'000'000, ' ') + "a " + giant + "'\n_exptl.method 'SOLUTION NMR'\n");
  giants.polymers().sequence("A", 1).atoms(chain_rows("A", 1, 1));
  const Extraction shown = run(Routine::backbones, giants.text());
  EXPECT_NE(shown.console.find("   " + std::string(40, 'X') + std::string(12, ' ') + std::string(18, 'x') + "\n   A" +
                               std::string(59, ' ') + "\n"),
            std::string::npos)
      << shown.console.substr(0, 1000);
}

// What the legacy file makes of values that are not what an archive entry
// holds: each as the legacy columns hold it.
TEST_F(Mmcif, OddValuesAsTheLegacyColumnsHoldThem) {
  struct Case {
    std::string_view what;
    SiteRow row;             // placed after residue 2's N in a chain of 3
    std::string_view shown;  // a line of the console, or "" for none
    std::size_t atoms;
  };
  SiteRow ter = chain_rows("A", 1, 1)[0];
  ter.group = "TER";
  SiteRow zero = chain_rows("A", 2, 2)[1];
  zero.x = "-0e5";
  zero.y = "-.000";
  SiteRow no_chain = chain_rows("A", 2, 2)[1];
  no_chain.chain = "?";
  const Case cases[] = {
      // A row of group TER is a TER record in the legacy file's columns.
      {"a row of group TER", ter, "", 1},  // the chain ends at it
      {"zeros with a sign", zero, "      2     2   0.000   0.000  10.000\n", 3},
      {"an unknown chain is a blank one", no_chain, "      2     2   3.000  -0.500  10.000\n", 3},
  };
  for (const Case& c : cases) {
    std::vector<SiteRow> rows = chain_rows("A", 1, 3);
    rows.insert(rows.begin() + 3, c.row);
    if (c.row.atom == "CA") rows.erase(rows.begin() + 4);  // it replaces residue 2's alpha carbon
    const std::string text = MmcifText::with_header().polymers().sequence("A", 3).atoms(rows).text();
    const Extraction result = run(Routine::backbones, text);
    ASSERT_TRUE(result.atoms.has_value()) << c.what << ": " << result.failure;
    EXPECT_EQ(result.atoms->size(), c.atoms) << c.what;
    if (!c.shown.empty()) {
      EXPECT_NE(result.console.find(c.shown), std::string::npos) << c.what << ":\n" << result.console;
    }
  }
  // Line ends in a header value are blanks in the record.
  auto entry = MmcifText();
  entry.add("data_x\n_entry.id 1ABC\n_struct_keywords.pdbx_keywords\n;two\nlines\n;\n_exptl.method 'SOLUTION NMR'\n");
  entry.polymers().sequence("A", 1).atoms(chain_rows("A", 1, 1));
  const Extraction result = run(Routine::backbones, entry.text());
  EXPECT_NE(result.console.find("   TWO LINES                                           1ABC    \n"), std::string::npos)
      << result.console;
}

TEST_F(Mmcif, RecognisedByItsContent) {
  const std::string mmcif = MmcifText::with_header().polymers().sequence("A", 3).atoms(chain_rows("A", 1, 3)).text();
  const Extraction plain = run(Routine::backbones, mmcif);
  ASSERT_EQ(plain.failure, "");
  struct Case {
    std::string_view what;
    std::string text;
  };
  std::string upper = mmcif;
  upper.replace(0, 5, "DATA_");
  const Case cases[] = {
      {"after blank and comment lines", "\n  \n# made by hand\n\t\n" + mmcif},
      {"with CR LF line ends", testing_support::crlf(mmcif)},
      {"DATA_ in upper case", upper},
  };
  for (const Case& c : cases) {
    const Extraction result = run(Routine::backbones, c.text);
    EXPECT_EQ(result.console, plain.console) << c.what;
    EXPECT_EQ(result.atoms, plain.atoms) << c.what;
  }
  // A legacy entry that begins with a comment line is still one: it shows
  // that line as its first title line.
  const auto legacy = EntryText().add("#234567890data_ follows").add("HEADER    X").add("REMARK   2 RESOLUTION. 2.00");
  const Extraction result = run(Routine::backbones, legacy.text() + testing_support::seqres_record('A', 1) + "\n");
  EXPECT_EQ(result.failure, "");
  EXPECT_NE(result.console.find("   data_ follows"), std::string::npos) << result.console;
}

}  // namespace

namespace {

using testing_support::expect_event_acted_on;

// A loop of many values: 9 MB, past the 4 MiB between two looks.
std::string long_loop() {
  std::string text = "data_x\nloop_\n_l.a\n_l.b\n";
  while (text.size() < 9'000'000) text += "ATOM 1.500 ATOM 2.5 CA 10.000 N 1 A 2\n";
  return text + "#\n";
}

// Texts whose reading holds no other look for events: a loop counted, and
// items, comments and values each as long as an entry may be.
TEST(MmcifDeathTest, AControlEventIsActedOnWhereverTheReadingIs) {
  const std::string long_text(9'000'000, 'x');
  std::string pairs = "data_x\n";
  while (pairs.size() < 9'000'000) pairs += "_struct.item" + std::to_string(pairs.size()) + " v\n";
  const std::string texts[] = {
      long_loop(),
      pairs,
      "data_x\n_x.y " + long_text + "\n",
      "data_x\n_x.y '" + long_text + "'\n",
      "data_x\n_x.y\n;" + long_text + "\n;\n",
      "data_x\n# " + long_text + "\n_x.y 1\n",
      "data_x\n_x.y" + std::string(9'000'000, ' ') + "1\n",
  };
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    expect_event_acted_on(
        [&] {
          std::raise(SIGINT);
          cif::Items items(texts[i]);
          items.next_block();
          cif::Item item;
          while (items.next_item(item)) {
          }
        },
        "text " + std::to_string(i));
  }
}

// The values of a loop read as they come: a run of blanks, or one value,
// as long as the entry; and rows read again, however short.
TEST(MmcifDeathTest, AControlEventIsActedOnWhileLoopValuesAreRead) {
  const std::string texts[] = {
      "loop_\n_l.a\n" + std::string(9'000'000, ' ') + "1\n",
      "loop_\n_l.a\n" + std::string(9'000'000, 'x') + "\n",
  };
  for (const std::string& text : texts) {
    expect_event_acted_on(
        [&] {
          std::raise(SIGINT);
          cif::Values values(text, text.find("\n", 6) + 1);
          while (!cif::Values::end(values.next())) {
          }
        },
        text.substr(0, 14));
  }
  // Rows read again, whatever their text: a reader's work per row may be
  // far more than the row's.
  std::string loop = "data_x\nloop_\n_l.a\n";
  for (int i = 0; i < 10'000; ++i) loop += "1\n";
  expect_event_acted_on([&] {
    std::raise(SIGINT);
    cif::Items items(loop);
    items.next_block();
    cif::Item item;
    items.next_item(item);
    cif::LoopRows rows(loop, item, {0});
    std::array<std::string_view, 1> row;
    while (rows.next(row)) {
    }
  });
}

TEST(MmcifDeathTest, AControlEventIsActedOnWhileAtomRowsAreRead) {
  auto entry = MmcifText::with_header();
  entry.polymers().sequence("A", 40'000).atoms(chain_rows("A", 1, 20'000));
  const std::string text = entry.text();
  expect_event_acted_on([&] {
    testing_support::FilesInMemory files;
    files.add("PDB/test.cif", text);
    records::Input input(1, files);
    input.open_old("PDB/test.cif");
    // After the opening, which looks for events too.
    std::raise(SIGINT);
    reading::MmcifEntry mmcif(input, reading::Purpose::backbones);
    reading::WideAtomFields fields;
    while (mmcif.next(fields)) {
    }
  });
}

}  // namespace
