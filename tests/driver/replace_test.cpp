// Exports and goodfiles.txt are replaced whole: at every moment a name holds
// the previous complete file or the new complete one, whatever runs beside
// it, whatever link stands at the name, and however the run ends.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "entries.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::EntryText;
using testing_support::hidden_in;
using testing_support::read_file;
using testing_support::RunningTool;
using testing_support::ToolRun;
using testing_support::write_file;

std::string chain_entry(int residues, int atoms_per_residue = 1) {
  auto entry = EntryText::with_header();
  entry.add(testing_support::seqres_record('A', residues));
  int serial = 0;
  for (int residue = 1; residue <= residues; ++residue) {
    for (int k = 0; k < atoms_per_residue; ++k) {
      // Serials two apart are never alternate locations of one another.
      serial = (serial + 2) % 99'990;
      entry.add(testing_support::Atom{serial, " CA ", 'A', residue, residue % 900 * 1.25, 2.0, -3.5});
      entry.add(testing_support::Atom{serial + 1, " N  ", 'A', residue, 1.0, 2.0, 3.0});
    }
  }
  return entry.text();
}

class Replace : public ::testing::Test {
 protected:
  Replace() {
    fs::create_directories(dir / "PDB");
    fs::create_directories(dir / "source");
  }
  ToolRun run(std::string_view answers, const testing_support::ToolOptions& options = {}) {
    return testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, options);
  }
  testing_support::TempDir dir;
};

TEST_F(Replace, TwoRunsAtOnceNeverMixTheirExports) {
  constexpr int entries = 60;
  std::string list;
  for (int i = 0; i < entries; ++i) {
    const std::string name = "e" + std::to_string(i) + ".pdb";
    write_file(dir / "PDB" / name, chain_entry(100));
    list += name + "\n";
  }
  write_file(dir / "Files.ini", list);
  // Each run alone first: what a whole export of each atom type holds.
  ASSERT_EQ(run("2\nN\n2\n").status, 0);
  const std::string nitrogen = read_file(dir / "source/e0.bck");
  ASSERT_EQ(run("2\nCA\n2\n").status, 0);
  const std::string carbon = read_file(dir / "source/e0.bck");
  const std::string good_files = read_file(dir / "goodfiles.txt");

  for (int pair = 0; pair < 8; ++pair) {
    ToolRun nitrogen_run;
    std::thread other([&] { nitrogen_run = run("2\nN\n2\n"); });
    const ToolRun carbon_run = run("2\nCA\n2\n");
    other.join();
    ASSERT_EQ(nitrogen_run.status, 0) << "pair " << pair << ": " << nitrogen_run.err;
    ASSERT_EQ(carbon_run.status, 0) << "pair " << pair << ": " << carbon_run.err;
    for (int i = 0; i < entries; ++i) {
      const std::string content = read_file(dir / "source" / ("e" + std::to_string(i) + ".bck"));
      ASSERT_TRUE(content == carbon || content == nitrogen) << "pair " << pair << ", e" << i << ".bck is mixed";
    }
    ASSERT_EQ(read_file(dir / "goodfiles.txt"), good_files) << "pair " << pair;
  }
  EXPECT_EQ(hidden_in(dir / "source"), std::vector<std::string>{});
}

TEST_F(Replace, ALinkPlantedAtTheNameIsNeverWrittenThrough) {
  write_file(dir / "PDB/a.pdb", chain_entry(30));
  std::string list;
  for (int i = 0; i < 400; ++i) list += "a.pdb\n";
  write_file(dir / "Files.ini", list);
  write_file(dir / "outside.txt", "not the tool's\n");

  // Plants a link at the export's name again and again while the run
  // replaces it, as someone racing the tool would.
  std::atomic<bool> running = true;
  std::thread planter([&] {
    const fs::path planted = dir / "source/planted";
    while (running) {
      std::error_code ignored;
      fs::create_symlink(dir / "outside.txt", planted, ignored);
      fs::rename(planted, dir / "source/a.bck", ignored);
    }
  });
  const ToolRun result = run("2\nCA\n2\n");
  running = false;
  planter.join();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(read_file(dir / "outside.txt"), "not the tool's\n");
}

// The file at a name as far as a replacement or a write changes it.
struct FileState {
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool operator==(const FileState& other) const {
    return inode == other.inode && size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};
FileState state_of(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {info.st_ino, info.st_size, info.st_mtim};
}

// Starts a backbone run on `entry` and waits until its export of `target`
// is being written (a temporary holds records, or the name no longer holds
// the file it held), then sends `signal_number`. False when the run ended
// first. The name is watched by its inode, size and time, not read: reading
// a 9 MB export every 50 us took a quarter of the test's time, from the run
// it watched.
bool signal_while_writing(RunningTool& tool, std::string_view entry, const fs::path& target, std::string_view atom,
                          int signal_number) {
  const FileState previous = state_of(target);
  tool.type("1\n" + std::string(entry) + "\n" + std::string(atom) + "\n2\n");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until && kill(tool.pid(), 0) == 0) {
    bool writing = !(state_of(target) == previous);
    for (const std::string& name : hidden_in(target.parent_path())) {
      std::error_code ignored;
      writing = writing || fs::file_size(target.parent_path() / name, ignored) > 100'000;
    }
    if (writing) {
      tool.signal(signal_number);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return false;
}

const testing_support::ToolOptions output_to_nowhere{.stdout_path = "/dev/null"};

TEST_F(Replace, AKilledRunLeavesThePreviousExportWhole) {
  write_file(dir / "PDB/big.pdb", chain_entry(9'000, 20));
  const std::string previous = "the previous complete export\r\n";
  const fs::path target = dir / "source/big.bck";
  bool caught_writing = false;
  for (int attempt = 0; attempt < 10 && !caught_writing; ++attempt) {
    write_file(target, previous);
    RunningTool tool(EXTRACT_BINARY, dir.path(), output_to_nowhere);
    caught_writing = signal_while_writing(tool, "big.pdb", target, "CA", SIGKILL);
    tool.finish();
  }
  ASSERT_TRUE(caught_writing) << "the export was never caught while written";
  EXPECT_EQ(read_file(target), previous);
}

TEST_F(Replace, ARunStoppedInTheMiddleOfAnExportNeitherTearsNorMixesIt) {
  write_file(dir / "PDB/big.pdb", chain_entry(9'000, 20));
  const fs::path target = dir / "source/big.bck";
  ASSERT_EQ(run("1\nbig.pdb\nCA\n2\n", output_to_nowhere).status, 0);
  const std::string carbon = read_file(target);
  ASSERT_EQ(run("1\nbig.pdb\nN\n2\n", output_to_nowhere).status, 0);
  const std::string nitrogen = read_file(target);

  RunningTool stopped(EXTRACT_BINARY, dir.path(), output_to_nowhere);
  ASSERT_TRUE(signal_while_writing(stopped, "big.pdb", target, "CA", SIGSTOP));
  EXPECT_EQ(read_file(target), nitrogen) << "torn while the run stands still";
  ASSERT_EQ(run("1\nbig.pdb\nN\n2\n", output_to_nowhere).status, 0);
  EXPECT_EQ(read_file(target), nitrogen) << "the second run's export";
  stopped.signal(SIGCONT);
  EXPECT_EQ(stopped.finish().status, 0);
  EXPECT_EQ(read_file(target), carbon) << "the first run's export, whole";
  EXPECT_EQ(hidden_in(dir / "source"), std::vector<std::string>{});
}

TEST_F(Replace, NamesCannotLeadOutOfTheirDirectory) {
  // ".pdb/../../e" reads the entry "e" of the working directory, and its
  // export name ".bck/../../e" would replace that very file.
  const std::string entry = chain_entry(3);
  write_file(dir / "e", entry);
  fs::create_directories(dir / "PDB/.pdb");
  fs::create_directories(dir / "source/.bck");
  write_file(dir / "Files.ini", ".pdb/../../e\n");
  const ToolRun climbing = run("2\nCA\n2\n");
  EXPECT_EQ(climbing.err, "extract: severe (30): open failure, unit 2, file source/.bck/../../e\r\n");
  EXPECT_EQ(read_file(dir / "e"), entry);
  EXPECT_EQ(hidden_in(dir.path()), std::vector<std::string>{});

  // Directories below source/ are fine.
  fs::create_directories(dir / "PDB/sub");
  write_file(dir / "PDB/sub/b.pdb", entry);
  fs::create_directories(dir / "source/sub");
  write_file(dir / "Files.ini", "sub/b.pdb\n");
  const ToolRun below = run("2\nCA\n2\n");
  EXPECT_EQ(below.status, 0) << below.err;
  EXPECT_TRUE(fs::exists(dir / "source/sub/b.bck"));
}

TEST_F(Replace, ClosedStandardDescriptorsAreNeverReused) {
  write_file(dir / "PDB/small.pdb", chain_entry(3));
  write_file(dir / "Files.ini", "small.pdb\nmissing.pdb\nsmall.pdb\n");
  // An entry's failure is reported on standard error and the run goes on;
  // with standard error closed the report goes nowhere, not into a file.
  const ToolRun result = run("2\nCA\n2\n", {.arguments = {"-k", "--no-pause"}, .close_standard_error = true});
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(result.out.ends_with(" DONE ! \r\n \r\n"));
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " small.bck   \r\n small.bck   \r\n");
  EXPECT_EQ(read_file(dir / "source/small.bck").find("extract:"), std::string::npos);
}

}  // namespace
