// Nothing blocks the run or the user: one control event ends the run at any
// moment, whatever it waits for, and no input can stall it or make it grow
// without bound.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <thread>

#include "entries.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::chain_entry;
using testing_support::read_file;
using testing_support::RunningTool;
using testing_support::ToolRun;
using testing_support::write_file;

constexpr std::string_view control_c = "extract: error (200): program aborting due to control-C event\r\n";

class Waits : public ::testing::Test {
 protected:
  Waits() {
    fs::create_directories(dir / "PDB");
    fs::create_directories(dir / "source");
    write_file(dir / "PDB/small.pdb", chain_entry(3));
  }
  ToolRun run(std::string_view answers, const testing_support::ToolOptions& options = {}) {
    return testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, options);
  }
  testing_support::TempDir dir;
};

TEST_F(Waits, EntriesMustBeRegularFilesAndNeverBlock) {
  ASSERT_EQ(mkfifo((dir / "PDB/lonely.pdb").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir / "PDB/written.pdb").c_str(), 0600), 0);
  // A writer that stays open for the whole test.
  const int writer = open((dir / "PDB/written.pdb").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  fs::create_symlink("/dev/zero", dir / "PDB/zero.pdb");
  fs::create_directories(dir / "PDB/folder.pdb");
  for (const std::string name : {"lonely.pdb", "written.pdb", "zero.pdb", "folder.pdb"}) {
    RunningTool tool(EXTRACT_BINARY, dir.path());
    tool.type("1\n" + name + "\nCA\n2\n");
    // A run that blocked would be killed at the limit, without a word.
    const ToolRun result = tool.finish(30s);
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.err, "extract: severe (30): open failure, unit 1, file PDB/" + name + "\r\n");
  }
  close(writer);
  write_file(dir / "Files.ini", "small.pdb\n");
  fs::rename(dir / "Files.ini", dir / "list");
  fs::create_symlink("/dev/zero", dir / "Files.ini");
  EXPECT_EQ(run("2\nCA\n2\n").err, "extract: severe (30): open failure, unit 1, file Files.ini\r\n");
}

TEST_F(Waits, AnOverlongConsoleLineKeepsItsFirstMegabyte) {
  // The answer is its first value; the ten megabytes after it are dropped.
  const std::string line = "small.pdb " + std::string(10 * 1024 * 1024, 'x');
  const ToolRun result = run("1\n" + line + "\nCA\n2\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(" Processing now file small.pdb   \r\n"), std::string::npos);
}

TEST_F(Waits, AnEndlessConsoleLineIsReadInBoundedMemoryUntilControlC) {
  RunningTool tool(EXTRACT_BINARY, dir.path(), {.stdin_path = "/dev/zero"});
  // The prompt is shown before the answer is read.
  ASSERT_TRUE(tool.wait_for_output(" Please choose your option now : "));
  const auto [result, took] = end_with(tool, SIGINT);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.err, control_c);
  EXPECT_LT(took, testing_support::ends_within_seconds);
  EXPECT_LT(result.peak_memory_kb, 256 * 1024) << "kilobytes";
}

TEST_F(Waits, OneControlCAtAnyMomentEndsTheRun) {
  // The moments include those between a look for pending events and the
  // wait itself, where a flag checked after EINTR lost the event.
  std::mt19937 random(42);
  for (int attempt = 0; attempt < 300; ++attempt) {
    RunningTool tool(EXTRACT_BINARY, dir.path());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
    const auto [result, took] = end_with(tool, SIGINT);
    ASSERT_EQ(result.status, 130) << "attempt " << attempt;
    ASSERT_LT(took, testing_support::ends_within_seconds) << "attempt " << attempt;
  }
}

TEST_F(Waits, ControlCWithTheConsoleBlockedOnAFullPipe) {
  write_file(dir / "PDB/long.pdb", chain_entry(2000));
  std::string list;
  for (int i = 0; i < 50; ++i) list += "long.pdb\n";
  write_file(dir / "Files.ini", list);
  // Past the questions nobody reads standard output: the run soon waits
  // for room in the pipe, and nothing else makes it wait.
  RunningTool tool(EXTRACT_BINARY, dir.path(), {}, true);
  tool.type("2\nCA\n2\n");
  ASSERT_TRUE(tool.read_output_until(" Processing now file long.pdb"));
  ASSERT_TRUE(tool.wait_until([&] { return tool.asleep(); }));
  const auto [result, took] = end_with(tool, SIGINT);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.err, control_c);
  EXPECT_LT(took, testing_support::ends_within_seconds);
}

TEST_F(Waits, ControlCWhileAPauseCommandRuns) {
  RunningTool tool(EXTRACT_BINARY, dir.path());
  tool.type("1\nnone.pdb\nCA\n3\necho started; sleep 30\n");
  // The command shares the console: what it shows tells that it runs.
  ASSERT_TRUE(tool.wait_for_output("continue.\r\nstarted\n"));
  const auto [result, took] = end_with(tool, SIGINT);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.err, control_c);
  EXPECT_LT(took, testing_support::ends_within_seconds);
}

TEST_F(Waits, APauseCommandThatCannotStartIsToldAndThePauseAsksAgain) {
  // One argument longer than the system takes.
  const std::string command = "echo " + std::string(300 * 1024, 'y');
  const ToolRun result = run("1\nnone.pdb\nCA\n3\n" + command + "\n\n");
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string prompt = "Korvane Pause - Enter command<CR> or <CR> to continue.\r\n";
  EXPECT_NE(result.out.find(prompt + " The command could not be started: Argument list too long\r\n" + prompt +
                            " \r\n DONE ! \r\n"),
            std::string::npos);
}

TEST_F(Waits, AnInterruptedConsoleNeverShowsAnythingTwice) {
  write_file(dir / "PDB/long.pdb", chain_entry(2000));
  std::string list;
  for (int i = 0; i < 20; ++i) list += "long.pdb\n";
  write_file(dir / "Files.ini", list);
  const std::string whole = run("2\nCA\n2\n").out;

  // A reader slower than the run: writes wait for it, and the control event
  // comes in the middle of one, a few entries in.
  RunningTool tool(EXTRACT_BINARY, dir.path(), {}, true);
  tool.type("2\nCA\n2\n");
  ASSERT_TRUE(tool.read_output_until(" Processing now file long.pdb", 3, {.piece = 1000, .pause = 100us}));
  tool.signal(SIGINT);
  const ToolRun result = tool.finish(10s);
  EXPECT_EQ(result.status, 130);
  EXPECT_LT(result.out.size(), whole.size());
  EXPECT_TRUE(whole.starts_with(result.out)) << "what was shown is the run's output, once";
}

}  // namespace
