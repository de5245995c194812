// Extreme inputs end in bounded time and memory, with the outcome the rules
// give them. The limits are generous (sanitizer builds run these too): they
// catch a loop that never ends or memory that grows without bound, not a
// slowdown.

#include <gtest/gtest.h>

#include "entries.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

using testing_support::EntryText;
using testing_support::read_file;
using testing_support::ToolRun;
using testing_support::write_file;

constexpr double time_limit_seconds = 60.0;
constexpr long memory_limit_kb = 1024 * 1024;

class Limits : public ::testing::Test {
 protected:
  Limits() {
    std::filesystem::create_directories(dir / "PDB");
    std::filesystem::create_directories(dir / "source");
  }

  ToolRun run(std::string_view answers) {
    ToolRun result = testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers);
    EXPECT_LT(result.seconds, time_limit_seconds);
    EXPECT_LT(result.peak_memory_kb, memory_limit_kb);
    return result;
  }

  std::size_t lines_of(std::string_view file) const {
    const std::string text = read_file(dir / file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  testing_support::TempDir dir;
};

TEST_F(Limits, AnEntryOfOneTenMegabyteLine) {
  std::string line = "HEADER    " + std::string(10 * 1024 * 1024, 'x');
  write_file(dir / "PDB/long.pdb", line);
  for (const std::string_view mode : {"1", "2"}) {
    const ToolRun result = run("1\nlong.pdb\nCA\n" + std::string(mode) + "\n");
    EXPECT_EQ(result.err, "extract: severe (24): end-of-file during read, unit 1, file PDB/long.pdb\r\n");
    EXPECT_NE(result.out.find("   " + std::string(60, 'x') + "\r\n"), std::string::npos);
  }
}

TEST_F(Limits, AHundredThousandHelixRecords) {
  auto entry = EntryText::with_header();
  for (int i = 0; i < 100'000; ++i) entry.add(testing_support::helix_record('A', i % 50 + 1, i % 50 + 3));
  entry.add_chain('A', 1, 60, 1);
  write_file(dir / "PDB/many.pdb", entry.text());
  const ToolRun result = run("1\nmany.pdb\nCA\n1\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("   *** helices found.\r\n"), std::string::npos);
  // Three atoms a helix; past 99999 the running number shows asterisks.
  EXPECT_EQ(lines_of("source/many.hel"), 8U + 300'000U);
  EXPECT_TRUE(read_file(dir / "source/many.hel").ends_with("*****    78.000   -13.000    10.000       52      A\r\n"));
}

TEST_F(Limits, AHelixOfTheWidestSpan) {
  auto entry = EntryText::with_header();
  entry.add(testing_support::helix_record('A', 1, 9999)).add_chain('A', 1, 9999, 1);
  write_file(dir / "PDB/wide.pdb", entry.text());
  const ToolRun result = run("1\nwide.pdb\nCA\n1\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("   There are       9999 carbon atoms"), std::string::npos);
  EXPECT_EQ(lines_of("source/wide.hel"), 8U + 9999U);

  auto unended = EntryText::with_header();
  unended.add(testing_support::helix_record('A', 1, 9999)).add_chain('A', 1, 100, 1);
  write_file(dir / "PDB/unended.pdb", unended.text());
  EXPECT_EQ(run("1\nunended.pdb\nCA\n1\n").err,
            "extract: severe (24): end-of-file during read, unit 1, file PDB/unended.pdb\r\n");
}

TEST_F(Limits, TheLargestSeqresCountOnAShortChain) {
  auto entry = EntryText::with_header();
  entry.add(testing_support::seqres_record('A', 9999)).add_chain('A', 1, 10, 1).add("TER");
  write_file(dir / "PDB/short.pdb", entry.text());
  const ToolRun result = run("1\nshort.pdb\nCA\n2\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("   There are       9999 residues in the backbone."), std::string::npos);
  EXPECT_EQ(lines_of("source/short.bck"), 8U + 10U);
}

TEST_F(Limits, AnAtomListGrownOneEntryAtATime) {
  // Serials left blank never follow one another, so no atom is taken for an
  // alternate location; residue numbers climb slowly, never dropping.
  auto entry = EntryText::with_header();
  entry.add(testing_support::seqres_record('A', 1));
  std::string atoms;
  for (int i = 0; i < 99'999; ++i) {
    std::string record = testing_support::atom_record({0, " CA ", 'A', i / 11 + 2, 1.0, 2.0, 3.0});
    record.replace(6, 5, "     ");
    atoms += record + "\n";
  }
  write_file(dir / "PDB/grown.pdb", entry.text() + atoms + "TER\n");
  const ToolRun result = run("1\ngrown.pdb\nCA\n2\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(lines_of("source/grown.bck"), 8U + 99'999U);
}

TEST_F(Limits, NulAndNonAsciiBytesAreCharactersLikeAnyOther) {
  const std::string odd("\0\xff\xc3\x85", 4);
  const char chain = '\xff';
  std::string entry = "HEADER    " + odd + odd + "\nTITLE     " + odd + "\nREMARK   2 RESOLUTION.    1.70\n";
  entry += testing_support::helix_record(chain, 1, 2) + "\n";
  for (int residue = 1; residue <= 3; ++residue) {
    std::string record = testing_support::atom_record({residue * 2, " CA ", chain, residue, 1.0, 2.0, 3.0});
    record.replace(16, 4, odd);  // the residue name is never converted
    entry += record + "\n";
  }
  const std::string name = std::string("\xff\x01.pdb", 6);
  write_file(dir / "PDB" / name, entry);
  write_file(dir / "Files.ini", name + "\n");
  const ToolRun result = run("2\nCA\n1\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("   " + odd + odd), std::string::npos);
  const std::string exported = read_file(dir / "source" / std::string("\xff\x01.hel", 6));
  EXPECT_TRUE(exported.ends_with("    2     1.000     2.000     3.000        2      \xff\r\n"));

  // An atom type of odd bytes is found nowhere, so the helix never ends.
  EXPECT_EQ(run(std::string("2\n\xff\x00\x01\n1\n", 9)).err,
            "extract: severe (24): end-of-file during read, unit 1, file PDB/" + name + "\r\n");

  write_file(dir / "PDB" / name, "HEADER\nTITLE\nREMARK   2 RESOLUTION. 1.7" + std::string(1, '\0') + "\n");
  EXPECT_EQ(run("1\n" + name + "\nCA\n1\n").err,
            "extract: severe (64): input conversion error, unit 1, file PDB/" + name + "\r\n");
}

TEST_F(Limits, AFileListOfAHundredThousandNames) {
  std::string list;
  for (int i = 0; i < 100'000; ++i) list += "e" + std::to_string(i) + ".pdb\n";
  write_file(dir / "Files.ini", list);
  const ToolRun result = run("2\nCA\n3\n" + std::string(100'000, '\n'));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(" Opening Files.ini... ->     100000 files to process\r\n"), std::string::npos);
  EXPECT_TRUE(result.out.ends_with(" \r\n DONE ! \r\n \r\n"));
}

}  // namespace
