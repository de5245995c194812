// What a hostile input or a careless user does to a batch: gzip bombs and
// huge sparse entries, entries cut while they are read, links inside
// source/, NUL bytes and refused names, SIGTERM, a standard error that takes
// nothing and a log appended to at its size limit. Each ends only what it
// concerns, in bounded time and memory, and loses nothing that was there.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <random>

#include "compressed_data.hpp"
#include "driver/driver.hpp"
#include "entries.hpp"
#include "failing_archive.hpp"
#include "run_tool.hpp"
#include "support.hpp"
#include "test_doubles.hpp"
#include "working_directory.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::hidden_in;
using testing_support::read_file;
using testing_support::RunningTool;
using testing_support::ToolOptions;
using testing_support::ToolRun;
using testing_support::write_file;

const fs::path data = EXTRACT_TEST_DATA;
constexpr std::size_t MiB = std::size_t{1} << 20;

// An entry of one chain of `residues` residues, `atoms` atoms each (a CA
// among them): 2 MiB or more, and so mapped, from about 7,000 residues of 4.
std::string chain_entry(int residues, int atoms = 1) {
  constexpr std::string_view names[] = {" CA ", " N  ", " C  ", " O  "};
  auto entry = testing_support::EntryText::with_header();
  entry.add(testing_support::seqres_record('A', residues));
  int serial = 1;
  for (int residue = 1; residue <= residues; ++residue) {
    for (int k = 0; k < atoms; ++k)
      entry.add(testing_support::Atom{serial++, names[k % 4], 'A', residue, 1.5, 2.5, 3.5});
  }
  return entry.text();
}

// The resident memory of a running process, in KiB.
long resident_kb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

class Hostile : public ::testing::Test {
 protected:
  Hostile() {
    fs::create_directories(dir / "source");
    fs::copy(data / "pdb", dir / "PDB");
  }
  ToolRun run(std::string_view answers, std::vector<std::string> arguments, ToolOptions options = {}) {
    options.arguments = std::move(arguments);
    return testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, options);
  }
  testing_support::TempDir dir;
};

TEST_F(Hostile, AGzipBombOrAHugeEntryFailsAloneInBoundedMemory) {
  // A gigabyte of zeros in a 1 MB file, and a sparse 64 MiB entry.
  write_file(dir / "PDB/bomb.pdb", testing_support::gzip_zeros(16, 64 * MiB));
  write_file(dir / "PDB/huge.pdb", "");
  fs::resize_file(dir / "PDB/huge.pdb", 64 * MiB);
  write_file(dir / "Files.ini", "1a8o.pdb\nbomb.pdb\nhuge.pdb\n3al1.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause", "--max-entry-size=16M"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err,
            "extract: severe (43): file larger than the size limit, unit 1, file PDB/bomb.pdb\r\n"
            "extract: severe (43): file larger than the size limit, unit 1, file PDB/huge.pdb\r\n"
            "extract: 2 of 4 entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n 3al1.bck    \r\n");
  EXPECT_EQ(read_file(dir / "source/1a8o.bck"), testing_support::solo_export(data, "backbone-1a8o", "1a8o.bck"));
  EXPECT_EQ(read_file(dir / "source/3al1.bck"), testing_support::solo_export(data, "backbone-3al1", "3al1.bck"));
  // The limit and what a run needs besides; unbounded, the bomb alone took
  // a gigabyte. A child's peak counts the test process it was forked from
  // (Linux keeps the forked copy's high-water mark across exec), which under
  // the sanitizers holds about 160 MB by itself: there it tells nothing.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(result.peak_memory_kb, 160 * 1024) << "KiB";
#endif
}

TEST_F(Hostile, ControlCWhileABombIsUnpackedEndsTheRunAtOnce) {
  write_file(dir / "PDB/bomb.pdb", testing_support::gzip_zeros(64, 64 * MiB));  // 4 GiB of text
  RunningTool tool(EXTRACT_BINARY, dir.path());
  tool.type("1\nbomb.pdb\nCA\n2\n");
  // Unpacking has begun once the run holds memory that nothing else takes;
  // there are then still 1.75 GiB to go before the limit.
  ASSERT_TRUE(tool.wait_until([&] { return resident_kb(tool.pid()) >= 256 * 1024; }));
  const auto [result, took] = testing_support::end_with(tool, SIGINT, 20s);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.err, "extract: error (200): program aborting due to control-C event\r\n");
  EXPECT_LT(took, testing_support::ends_within_seconds);
  EXPECT_LT(result.peak_memory_kb, 1024 * 1024) << "KiB";
}

TEST_F(Hostile, ControlCWhileSparseEntriesAreScannedEndsTheRunPromptly) {
  // 256 MiB of nothing before a real entry, listed many times: pages
  // brought in from nothing, and one line of 256 MiB to find the end of.
  // Read to the end, the list takes far longer than the bound.
  write_file(dir / "PDB/sparse.pdb", "");
  fs::resize_file(dir / "PDB/sparse.pdb", 256 * MiB);
  std::ofstream(dir / "PDB/sparse.pdb", std::ios::app) << "\n" << read_file(data / "pdb/1a8o.pdb");
  std::string list;
  for (int i = 0; i < 500; ++i) list += "sparse.pdb\n";
  write_file(dir / "Files.ini", list);
  RunningTool tool(EXTRACT_BINARY, dir.path(), {.arguments = {"-k", "--no-pause"}});
  tool.type("2\nCA\n1\n");
  // Mapped: its pages are being brought in or scanned.
  ASSERT_TRUE(tool.wait_until([&] { return testing_support::has_mapped(tool.pid(), "sparse.pdb"); }));
  const auto [result, took] = testing_support::end_with(tool, SIGINT, 20s);
  EXPECT_EQ(result.status, 130);
  EXPECT_LT(took, testing_support::ends_within_seconds);
}

TEST_F(Hostile, SigtermAtAnyMomentRemovesTheTemporariesAndTellsIt) {
  std::string list;
  for (int i = 0; i < 24; ++i) {
    write_file(dir / "PDB" / ("e" + std::to_string(i) + ".pdb"), chain_entry(2000, 2));
    list += "e" + std::to_string(i) + ".pdb\n";
  }
  write_file(dir / "Files.ini", list);
  // The moment is one the run's own report shows, picked at random: an
  // entry's announcement or its export's, among all but the last two
  // entries. The run cannot get further ahead of what the test read than
  // the pipe holds (64 KiB), and two entries' reports (84 kB each) are
  // more: the signal always comes before the run's end, however fast or
  // slow the machine.
  std::mt19937 random(18);
  for (int attempt = 0; attempt < 30; ++attempt) {
    const std::string entry = "e" + std::to_string(random() % 22);
    const std::string moment = random() % 2 == 0 ? " Processing now file " + entry + ".pdb"
                                                 : " Exporting C-alpha coordinates to file " + entry + ".bck";
    RunningTool tool(EXTRACT_BINARY, dir.path(), {}, true);
    tool.type("2\nCA\n2\n");
    ASSERT_TRUE(tool.read_output_until(moment)) << moment;
    tool.signal(SIGTERM);
    const ToolRun result = tool.finish(10s);
    ASSERT_EQ(result.status, 143) << "attempt " << attempt << ", at" << moment;
    EXPECT_EQ(result.err, "extract: error (200): program aborting due to process-TERMINATE event\r\n");
    ASSERT_EQ(hidden_in(dir / "source"), std::vector<std::string>{}) << "attempt " << attempt;
    ASSERT_EQ(hidden_in(dir.path()), std::vector<std::string>{}) << "attempt " << attempt;
  }
}

TEST_F(Hostile, NoExportIsWrittenThroughALinkInsideSource) {
  // source/ itself a link to a scratch disk, as is common; inside it, a link
  // to a directory the run must not write to.
  fs::remove(dir / "source");
  fs::create_directories(dir / "scratch");
  fs::create_directory_symlink(dir / "scratch", dir / "source");
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "scratch/sub");
  fs::create_directories(dir / "PDB/sub");
  fs::copy_file(data / "pdb/1a8o.pdb", dir / "PDB/sub/x.pdb");
  write_file(dir / "Files.ini", "sub/x.pdb\n1a8o.pdb\n");
  const std::string refused = "extract: severe (30): open failure, unit 2, file source/sub/x.bck\r\n";

  const ToolRun stopped = run("2\nCA\n2\n", {});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(stopped.err, refused);
  const ToolRun kept_going = run("2\nCA\n2\n", {"-k", "--no-pause"});
  EXPECT_EQ(kept_going.status, 3);
  EXPECT_EQ(kept_going.err, refused + "extract: 1 of 2 entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n");
  EXPECT_EQ(read_file(dir / "scratch/1a8o.bck"), testing_support::solo_export(data, "backbone-1a8o", "1a8o.bck"));
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST_F(Hostile, NamesThatAreRefusedEndOnlyTheirEntryUnderKeepGoing) {
  // A NUL byte: once, the entry read was PDB/1a8o and the export source/1a8o.
  // A climb out of source/: once, the end of the whole batch.
  fs::copy_file(data / "pdb/1a8o.pdb", dir / "PDB/1a8o");
  fs::copy_file(data / "pdb/1a8o.pdb", dir / "PDB/q");
  fs::create_directories(dir / "PDB/x.abc");
  const std::string nul_name("1a8o\0.pdb", 9);
  write_file(dir / "Files.ini", nul_name + "\nx.abc/../q\n3al1.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err, "extract: severe (30): open failure, unit 1, file PDB/" + nul_name +
                            "\r\n"
                            "extract: severe (30): open failure, unit 2, file source/x.bck/../q\r\n"
                            "extract: 2 of 3 entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 3al1.bck    \r\n");
  EXPECT_EQ(testing_support::names_in(dir / "source"), std::vector<std::string>{"3al1.bck"});
}

TEST_F(Hostile, AStandardErrorThatTakesNothingDoesNotEndABatch) {
  write_file(dir / "Files.ini", "1a8o.pdb\nmissing.pdb\n3al1.pdb\nlost.pdb\n2beg.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"}, {.stderr_path = "/dev/full"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n 3al1.bck    \r\n 2beg.bck    \r\n");
  EXPECT_TRUE(result.out.ends_with(" \r\n DONE ! \r\n \r\n"));
}

TEST_F(Hostile, ALogAppendedToAtItsSizeLimitKeepsEveryByteItHad) {
  std::string earlier;
  while (earlier.size() < 100'000) earlier += "a line of an earlier run\r\n";
  write_file(dir / "run.log", earlier);
  write_file(dir / "Files.ini", "1a8o.pdb\n3al1.pdb\n");
  const ToolRun result =
      run("2\nCA\n2\n", {}, {.stdout_path = dir / "run.log", .file_size_limit = 105'000, .append_output = true});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "extract: severe (38): error during write, unit 6, file stdout\r\n");
  const std::string log = read_file(dir / "run.log");
  EXPECT_TRUE(log.starts_with(earlier)) << log.size() << " bytes left";
  EXPECT_TRUE(log.ends_with("\r\n"));
}

TEST_F(Hostile, MemoryThatRunsOutForOneEntryEndsOnlyThatEntryUnderKeepGoing) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers reserve more address space than any limit leaves";
#endif
  // 600 MiB of text, within the size limit but not within the memory.
  write_file(dir / "PDB/large.pdb", testing_support::gzip_zeros(10, 60 * MiB));
  write_file(dir / "Files.ini", "large.pdb\n1a8o.pdb\n");
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"}, {.memory_limit = 384L << 20});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err, "extract: severe (41): insufficient virtual memory\r\nextract: 1 of 2 entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n");
}

TEST_F(Hostile, AnEntryCutWhileReadFailsAndKeepsItsPreviousExport) {
  write_file(dir / "Files.ini", "big.pdb\n1a8o.pdb\n");
  const testing_support::WorkingDirectory in_scratch(dir.path());
  // To nothing, and at a page boundary inside an ATOM record, whose end then
  // read as zeros: "1351.000 0.000 0.000".
  for (const std::size_t cut_to : {std::size_t{0}, 2 * MiB + 4096}) {
    write_file(dir / "PDB/big.pdb", chain_entry(9000, 4));  // 3 MiB: mapped
    ASSERT_NE(read_file(dir / "PDB/big.pdb")[cut_to - (cut_to > 0 ? 1 : 0)], '\n');
    write_file(dir / "source/big.bck", "the previous export\r\n");
    testing_support::CutOnceOpened files(dir.path(), "big", cut_to);
    records::Output console = records::Output::in_memory();
    records::Output errors = records::Output::in_memory(0, "stderr");
    testing_support::TextLines answers("2\nCA\n2\n");
    const driver::Summary summary =
        driver::EXTRACT(console, answers, {.keep_going = true, .no_pause = true, .errors = &errors, .files = &files});
    EXPECT_EQ(summary.failed, 1U) << cut_to;
    EXPECT_EQ(errors.text(), "extract: severe (44): file changed while read, unit 1, file PDB/big.pdb\r\n") << cut_to;
    EXPECT_EQ(read_file(dir / "source/big.bck"), "the previous export\r\n") << cut_to;
    EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n") << cut_to;
  }
}

}  // namespace
