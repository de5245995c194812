// Batches over a real archive: with --keep-going an entry that cannot be
// read ends only itself, --no-pause never waits, and compressed entries
// read like plain ones. Without options nothing of this shows.

#include <gtest/gtest.h>

#include <algorithm>

#include "entries.hpp"
#include "failing_archive.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::ToolRun;
using testing_support::write_file;

const fs::path data = EXTRACT_TEST_DATA;

class Batch : public ::testing::Test {
 protected:
  Batch() {
    testing_support::make_failing_archive(dir.path(), data);
    write_file(dir / "Files.ini",
               "1a8o.pdb\nmissing.pdb\nfolder.pdb\nnores.pdb\n2n0n_m1.pdb\nbroken.pdb\nz3al1.pdb\n2beg.pdb\n"
               "z1lcd.pdb\n");
  }
  ToolRun run(std::string_view answers, std::vector<std::string> arguments) {
    return testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, {.arguments = std::move(arguments)});
  }
  std::size_t count(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  testing_support::TempDir dir;
};

TEST_F(Batch, KeepGoingPassesOverTheEntriesThatFailAndTellsThem) {
  const ToolRun result = run("2\nCA\n1\n", {"--keep-going", "--no-pause"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err,
            "extract: severe (29): file not found, unit 1, file PDB/missing.pdb\r\n"
            "extract: severe (30): open failure, unit 1, file PDB/folder.pdb\r\n"
            "extract: severe (24): end-of-file during read, unit 1, file PDB/nores.pdb\r\n"
            "extract: severe (24): end-of-file during read, unit 1, file PDB/2n0n_m1.pdb\r\n"
            "extract: severe (39): corrupt or truncated compressed data, unit 1, file PDB/broken.pdb.gz\r\n"
            "extract: 5 of 9 entries failed\r\n");
  EXPECT_TRUE(result.out.ends_with(" \r\n DONE ! \r\n \r\n"));
  // The five failures and 2beg, which has no helix, are ignored, each with
  // the pause prompt, and no pause waits.
  EXPECT_EQ(count(result.out,
                  " This file will be ignored. Please check if it is applicable.\r\n \r\n"
                  "Korvane Pause - Enter command<CR> or <CR> to continue.\r\n"),
            6U);
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.hel    \r\n z3al1.hel   \r\n z1lcd.hel   \r\n");
  EXPECT_EQ(read_file(dir / "source/1a8o.hel"), testing_support::solo_export(data, "helix-1a8o", "1a8o.hel"));
  EXPECT_EQ(read_file(dir / "source/z3al1.hel"), testing_support::solo_export(data, "helix-3al1", "3al1.hel"));
  EXPECT_EQ(read_file(dir / "source/z1lcd.hel"), testing_support::solo_export(data, "helix-1lcd", "1lcd.hel"));
  EXPECT_EQ(testing_support::names_in(dir / "source").size(), 3U);
}

TEST_F(Batch, KeepGoingLeavesThePreviousExportOfAFailingEntry) {
  write_file(dir / "source/nores.bck", "an earlier export\r\n");
  write_file(dir / "Files.ini", "nores.pdb\n1a8o.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(read_file(dir / "source/nores.bck"), "an earlier export\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n");
}

TEST_F(Batch, KeepGoingWithoutFailuresEndsAsUsual) {
  write_file(dir / "Files.ini", "1a8o.pdb\nz3al1.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(read_file(dir / "source/z3al1.bck"), testing_support::solo_export(data, "backbone-3al1", "3al1.bck"));
}

TEST_F(Batch, FailuresOfTheRunItselfStayFatalUnderKeepGoing) {
  fs::remove_all(dir / "source");
  const ToolRun no_exports = run("2\nCA\n2\n", {"-k", "--no-pause"});
  EXPECT_EQ(no_exports.status, 1);
  EXPECT_EQ(no_exports.err, "extract: severe (30): open failure, unit 2, file source/1a8o.bck\r\n");
  fs::remove(dir / "Files.ini");
  const ToolRun no_list = run("2\nCA\n2\n", {"-k", "--no-pause"});
  EXPECT_EQ(no_list.err, "extract: severe (29): file not found, unit 1, file Files.ini\r\n");
}

TEST_F(Batch, KeepGoingStopsAtAConsoleThatCannotBeWritten) {
  // The console runs out of room while an entry is listed: that is the
  // console's failure, not the entry's.
  write_file(dir / "PDB/long.pdb", testing_support::chain_entry(9000));
  write_file(dir / "Files.ini", "long.pdb\n1a8o.pdb\n");
  const ToolRun result = testing_support::run_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n2\n",
                                                   {.file_size_limit = 70'000, .arguments = {"-k", "--no-pause"}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "extract: severe (38): error during write, unit 6, file stdout\r\n");
  EXPECT_FALSE(fs::exists(dir / "goodfiles.txt"));
}

TEST_F(Batch, WithoutOptionsTheFirstFailureEndsTheRun) {
  const ToolRun result = run("2\nCA\n1\n", {});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "extract: severe (29): file not found, unit 1, file PDB/missing.pdb\r\n");
  EXPECT_FALSE(fs::exists(dir / "goodfiles.txt"));
}

TEST_F(Batch, NoPauseGoesOnAsIfEnterHadBeenPressed) {
  write_file(dir / "Files.ini", "2beg.pdb\n1a8o.pdb\n");
  const ToolRun typed = run("2\nCA\n1\n\n", {});
  const ToolRun not_waiting = run("2\nCA\n1\n", {"--no-pause"});
  EXPECT_EQ(not_waiting.status, 0);
  EXPECT_EQ(not_waiting.out, typed.out);
}

}  // namespace
