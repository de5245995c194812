// Faults of the surroundings: missing directories, full files, a closed
// console, control events. Each ends the run with its one diagnostic line and
// a failure status, leaves the files already written whole, and leaves the
// goodfiles.txt of an earlier run alone.

#include <gtest/gtest.h>

#include <csignal>

#include "entries.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

using testing_support::EntryText;
using testing_support::read_file;
using testing_support::ToolRun;
using testing_support::write_file;

class Faults : public ::testing::Test {
 protected:
  Faults() {
    std::filesystem::create_directories(dir / "PDB");
    std::filesystem::create_directories(dir / "source");
    write_file(dir / "goodfiles.txt", "from an earlier run\n");
    write_file(dir / "PDB/small.pdb", testing_support::helix_chain_entry(3));
  }

  ToolRun run(std::string_view answers, const testing_support::ToolOptions& options = {}) {
    return testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, options);
  }

  void expect_failure(const ToolRun& result, std::string_view diagnostic, int status = 1) {
    EXPECT_EQ(result.err, std::string(diagnostic) + "\r\n");
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(read_file(dir / "goodfiles.txt"), "from an earlier run\n");
  }

  testing_support::TempDir dir;
};

TEST_F(Faults, TheExportDirectoryMissingOrAFile) {
  std::filesystem::remove(dir / "source");
  expect_failure(run("1\nsmall.pdb\nCA\n2\n"), "extract: severe (30): open failure, unit 2, file source/small.bck");
  write_file(dir / "source", "a file where the directory belongs\n");
  expect_failure(run("1\nsmall.pdb\nCA\n2\n"), "extract: severe (30): open failure, unit 2, file source/small.bck");
}

TEST_F(Faults, ABlankListedNameNamesTheEntryDirectory) {
  write_file(dir / "Files.ini", "small.pdb\n\nsmall.pdb\n");
  const ToolRun result = run("2\nCA\n2\n");
  expect_failure(result, "extract: severe (30): open failure, unit 1, file PDB/");
  EXPECT_TRUE(read_file(dir / "source/small.bck").ends_with("        3      A\r\n"));
}

TEST_F(Faults, AFullExportLeavesThePreviousOneWhole) {
  // The console shows fewer bytes per atom than the export holds, so with
  // a limit between the two only the export runs out of room.
  write_file(dir / "PDB/large.pdb", testing_support::helix_chain_entry(1000));
  write_file(dir / "Files.ini", "small.pdb\nlarge.pdb\n");
  write_file(dir / "source/large.bck", "the previous export\r\n");
  constexpr long limit = 48'000;
  const ToolRun result = run("2\nCA\n2\n", {.file_size_limit = limit});
  expect_failure(result, "extract: severe (38): error during write, unit 2, file source/large.bck");
  EXPECT_TRUE(result.out.ends_with("**************************************************\r\n \r\n"));
  EXPECT_EQ(read_file(dir / "source/large.bck"), "the previous export\r\n");
  EXPECT_TRUE(read_file(dir / "source/small.bck").ends_with("        3      A\r\n"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "source"), {}), 2) << "no temporary left";
}

TEST_F(Faults, AFullGoodFilesListLeavesThePreviousOneWhole) {
  // Enough names that the list outgrows the limit, while each export stays
  // far below it.
  std::string list;
  for (int i = 0; i < 400; ++i) list += "small.pdb\n";
  write_file(dir / "Files.ini", list);
  const ToolRun result = run("2\nCA\n2\n", {.stdout_path = "/dev/null", .file_size_limit = 4'000});
  expect_failure(result, "extract: severe (38): error during write, unit 3, file goodfiles.txt");
  for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_FALSE(item.path().filename().string().starts_with(".goodfiles.txt")) << "no temporary left";
  }
}

TEST_F(Faults, AConsoleThatCannotBeWritten) {
  const ToolRun result = run("1\nsmall.pdb\nCA\n2\n", {.stdout_path = "/dev/full"});
  expect_failure(result, "extract: severe (38): error during write, unit 6, file stdout");
}

TEST_F(Faults, MemoryThatCannotBeObtained) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers reserve more address space than any limit leaves";
#endif
  // A sparse gigabyte: no disk, but more memory than the limit allows.
  write_file(dir / "PDB/huge.pdb", "");
  std::filesystem::resize_file(dir / "PDB/huge.pdb", 1UL << 30);
  const ToolRun result = run("1\nhuge.pdb\nCA\n2\n", {.memory_limit = 256L << 20});
  expect_failure(result, "extract: severe (41): insufficient virtual memory");
}

TEST_F(Faults, ControlEventsAtThePauseAndAtAQuestion) {
  write_file(dir / "PDB/plain.pdb", "HEADER\nTITLE\nREMARK   2 RESOLUTION. NOT APPLICABLE.\n");
  write_file(dir / "Files.ini", "small.pdb\nplain.pdb\n");
  struct Case {
    int signal_number;
    std::string_view event;
  };
  const Case cases[] = {{SIGINT, "control-C"}, {SIGQUIT, "control-BREAK"}, {SIGHUP, "window-CLOSE"}};
  const std::string pause = "Korvane Pause - Enter command<CR> or <CR> to continue.\r\n";
  for (const auto& c : cases) {
    std::filesystem::remove(dir / "source/small.hel");
    const ToolRun at_pause =
        testing_support::interrupt_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n1\n", pause, c.signal_number);
    expect_failure(at_pause, "extract: error (200): program aborting due to " + std::string(c.event) + " event",
                   128 + c.signal_number);
    EXPECT_TRUE(at_pause.out.ends_with(pause)) << c.event;
    EXPECT_TRUE(read_file(dir / "source/small.hel").ends_with("        2      A\r\n")) << c.event;

    const ToolRun at_question = testing_support::interrupt_tool(EXTRACT_BINARY, dir.path(), "",
                                                                " Please choose your option now : ", c.signal_number);
    expect_failure(at_question, "extract: error (200): program aborting due to " + std::string(c.event) + " event",
                   128 + c.signal_number);
  }
}

TEST_F(Faults, AControlSignalIgnoredWhenTheRunStartsStaysIgnored) {
  // nohup ignores SIGHUP, a shell its background jobs' SIGINT and SIGQUIT,
  // trap '' any of them. The signal comes while the run waits for the first
  // answer; ignored, it is gone before the answers are typed.
  struct Case {
    int signal_number;
    std::string_view event;
  };
  const Case cases[] = {
      {SIGHUP, "window-CLOSE"}, {SIGINT, "control-C"}, {SIGQUIT, "control-BREAK"}, {SIGTERM, "process-TERMINATE"}};
  for (const Case& c : cases) {
    for (const bool ignored : {true, false}) {
      testing_support::ToolOptions options;
      if (ignored) options.ignored_signals = {c.signal_number};
      testing_support::RunningTool tool(EXTRACT_BINARY, dir.path(), options);
      ASSERT_TRUE(tool.wait_for_output(" Please choose your option now : "));
      tool.signal(c.signal_number);
      tool.type("1\nsmall.pdb\nCA\n2\n");
      const ToolRun result = tool.finish();
      const std::string what = std::string(c.event) + (ignored ? ", ignored" : "");
      if (ignored) {
        EXPECT_EQ(result.status, 0) << what << ": " << result.err;
        EXPECT_TRUE(result.out.ends_with(" DONE ! \r\n \r\n")) << what;
      } else {
        EXPECT_EQ(result.status, 128 + c.signal_number) << what;
        EXPECT_EQ(result.err, "extract: error (200): program aborting due to " + std::string(c.event) + " event\r\n")
            << what;
      }
    }
  }
}

}  // namespace
