// The opening both routines share: title lines and resolution.

#include "mmcif_text.hpp"
#include "run_reading.hpp"

namespace {

using testing_support::EntryText;
using testing_support::Options;
using testing_support::ReadingTest;

// Everything after the header scan's report, so that only the scan varies.
EntryText with_chain(EntryText entry) {
  entry.add(testing_support::seqres_record('A', 1)).add_chain('A', 1, 1, 1);
  return entry;
}

std::string report_of(const std::string& console) {
  return console.substr(0, console.find("   There are"));
}

constexpr std::string_view titles =
    "   The following protein is going to be analysed:\n"
    " \n"
    "   SYNTHETIC PROTEIN                       01-JAN-00   0TST    \n"
    "   AN ENTRY BUILT FOR A TEST                                   \n"
    " \n";

using HeaderScan = ReadingTest;

TEST_F(HeaderScan, ResolutionInTheOlderAndTheCurrentLayout) {
  struct Case {
    std::string_view remark;  // after "REMARK   2 RESOLUTION."
    float resolution;
    std::string_view shown;
  };
  const Case cases[] = {
      {"    1.70 ANGSTROMS.", 1.7F, "1.70"},   // current layout: columns 24-30
      {"   10.50 ANGSTROMS.", 10.5F, "****"},  // too wide for the report's field
      {" 2.25 ANGSTROMS.", 2.25F, "2.25"},     // older layout: columns 23-27
      {" 0.75 ANGSTROM.", 0.75F, "0.75"},
      {"1.80 ", 1.8F, "1.80"},
      {"12.50", 12.5F, "****"},
      {"", 0.0F, "0.00"},  // blanks read as zero
      {"     ", 0.0F, "0.00"},
  };
  for (const auto& c : cases) {
    const auto result = backbones(with_chain(EntryText::with_header(c.remark)), {.resolution = 9.0F});
    EXPECT_EQ(result.failure, "") << c.remark;
    EXPECT_EQ(result.resolution, c.resolution) << c.remark;
    EXPECT_EQ(report_of(result.console), std::string(titles) + "   The structure data has a resolution of " +
                                             std::string(c.shown) + " angstroems\n \n")
        << c.remark;
  }
}

// An entry that states no resolution at all is read, when allowed, as the
// same entry stating that none applies; else it ends where the resolution
// is looked for, as it always did.
TEST_F(HeaderScan, NoResolutionStatedIsReadAsNotApplicableWhenAllowed) {
  const auto legacy = [](std::string_view remark) {
    std::string text = EntryText::with_header(remark).add(testing_support::helix_record('A', 1, 2)).text();
    if (remark.empty()) text.erase(text.find("REMARK"), text.find("HELIX") - text.find("REMARK"));
    EntryText entry;
    entry.add(text.substr(0, text.size() - 1)).add(testing_support::seqres_record('A', 2)).add_chain('A', 1, 2, 1);
    return entry.text();
  };
  const auto mmcif = [](std::string_view method, bool exptl) {
    auto entry = testing_support::MmcifText::with_header("", method);
    entry.polymers().sequence("A", 2).helices({{"A", "1", "2"}}).atoms(testing_support::chain_rows("A", 1, 2));
    std::string text = entry.text();
    if (!exptl) text.erase(text.find("_exptl"), text.find("#", text.find("_exptl")) - text.find("_exptl"));
    return text;
  };
  struct Case {
    std::string_view what;
    std::string none_stated;
    std::string not_applicable;
  };
  const Case cases[] = {
      {"legacy, no REMARK 2", legacy(""), legacy(" NOT APPLICABLE.")},
      {"mmCIF, no _refine", mmcif("'X-RAY DIFFRACTION'", true), mmcif("'SOLUTION NMR'", true)},
      {"mmCIF, no _exptl", mmcif("'X-RAY DIFFRACTION'", false), mmcif("'SOLUTION NMR'", true)},
  };
  for (const Case& c : cases) {
    for (const auto routine : {testing_support::Routine::helices, testing_support::Routine::backbones}) {
      const auto allowed = run(routine, c.none_stated, {.resolution = 3.5F, .allow_no_resolution = true});
      const auto stated = run(routine, c.not_applicable, {.resolution = 3.5F});
      EXPECT_EQ(allowed.failure, "") << c.what;
      EXPECT_EQ(allowed.console, stated.console) << c.what;
      EXPECT_EQ(allowed.resolution, 3.5F) << c.what;
      ASSERT_TRUE(allowed.atoms.has_value()) << c.what;
      EXPECT_EQ(testing_support::residues_of(*allowed.atoms), testing_support::numbered(1, 2)) << c.what;
      EXPECT_EQ(run(routine, c.none_stated).failure,
                "extract: severe (24): end-of-file during read, unit 1, file PDB/test.pdb")
          << c.what;
    }
  }
}

TEST_F(HeaderScan, NotApplicableLeavesTheCallersResolution) {
  const auto result = backbones(with_chain(EntryText::with_header(" NOT APPLICABLE.")), {.resolution = 3.5F});
  EXPECT_EQ(result.resolution, 3.5F);
  EXPECT_EQ(report_of(result.console), std::string(titles) + "   No resolution specified !!! \n \n");
}

TEST_F(HeaderScan, OnlyTheExactKeyAndNotTextCount) {
  // Anything but " NOT " exactly goes to the conversion.
  for (const std::string_view remark : {"NOT A", " not ", " NOTA", " 1.5X"}) {
    const auto result = backbones(with_chain(EntryText::with_header(remark)));
    EXPECT_EQ(result.failure, "extract: severe (64): input conversion error, unit 1, file PDB/test.pdb") << remark;
  }
}

TEST_F(HeaderScan, TheSearchStartsAtRecordThreeAndMustFindTheRecord) {
  const std::string remark = "REMARK   2 RESOLUTION.    1.70 ANGSTROMS.";
  const std::string eof = "extract: severe (24): end-of-file during read, unit 1, file PDB/test.pdb";
  struct Case {
    std::string entry;
    std::string failure;
  };
  const Case cases[] = {
      {remark + "\n" + remark + "\nSEQRES   1 A    1\n", eof},  // in records 1 and 2 only: never tested
      {"HEADER\nTITLE\nREMARK   2 RESOLUTION.    3.00 ANGSTROMS.\nSEQRES   1 A    0\n", ""},
      {"HEADER\nTITLE\nREMARK   3 RESOLUTION.    3.00\n", eof},
      {"HEADER\n", eof},
      {"", eof},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run(testing_support::Routine::backbones, c.entry).failure, c.failure) << c.entry;

  const auto shown_as_titles =
      run(testing_support::Routine::backbones, remark + "\n" + remark + "\n" + remark + "\nSEQRES   1 A    0\n");
  // Columns 11-70 of the record, padded to 60 characters.
  const std::string title = "   " + (remark.substr(10) + std::string(60, ' ')).substr(0, 60) + "\n";
  EXPECT_EQ(report_of(shown_as_titles.console),
            "   The following protein is going to be analysed:\n \n" + title + title +
                " \n   The structure data has a resolution of 1.70 angstroems\n \n");
}

TEST_F(HeaderScan, QuietScanReadsTheSameAndWritesNothing) {
  const auto result = backbones(with_chain(EntryText::with_header()), {.verbose = false});
  EXPECT_EQ(result.resolution, 2.0F);
  EXPECT_EQ(result.console, "");
}

}  // namespace
