// The opening both routines share: title lines and resolution.

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
