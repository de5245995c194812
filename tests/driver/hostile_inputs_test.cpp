// What a hostile input or a careless user does to a batch: links inside
// source/, NUL bytes and refused names, memory that runs out, a standard
// error that takes nothing and a log appended to at its size limit. Each
// ends only what it concerns and loses nothing that was there.

#include <gtest/gtest.h>


#include "compressed_data.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::ToolOptions;
using testing_support::ToolRun;
using testing_support::write_file;

const fs::path data = EXTRACT_TEST_DATA;
constexpr std::size_t MiB = std::size_t{1} << 20;

std::string solo_export(std::string_view session, std::string_view file) {
  return read_file(data / "sessions" / session / "expected" / "source" / file);
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
  EXPECT_EQ(read_file(dir / "scratch/1a8o.bck"), solo_export("backbone-1a8o", "1a8o.bck"));
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
  std::vector<std::string> exports;
  for (const auto& item : fs::directory_iterator(dir / "source")) exports.push_back(item.path().filename());
  EXPECT_EQ(exports, std::vector<std::string>{"3al1.bck"});
}

TEST_F(Hostile, AStandardErrorThatTakesNothingDoesNotEndABatch) {
  write_file(dir / "Files.ini", "1a8o.pdb\nmissing.pdb\n3al1.pdb\nlost.pdb\n2beg.pdb\n");
  ToolOptions full_errors;
  full_errors.stderr_path = "/dev/full";
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"}, full_errors);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n 3al1.bck    \r\n 2beg.bck    \r\n");
  EXPECT_TRUE(result.out.ends_with(" \r\n DONE ! \r\n \r\n"));
}

TEST_F(Hostile, ALogAppendedToAtItsSizeLimitKeepsEveryByteItHad) {
  std::string earlier;
  while (earlier.size() < 100'000) earlier += "a line of an earlier run\r\n";
  write_file(dir / "run.log", earlier);
  write_file(dir / "Files.ini", "1a8o.pdb\n3al1.pdb\n");
  ToolOptions appended;
  appended.stdout_path = dir / "run.log";
  appended.file_size_limit = 105'000;
  appended.append_output = true;
  const ToolRun result = run("2\nCA\n2\n", {}, appended);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "extract: severe (38): error during write, unit 6, file stdout\r\n");
  const std::string log = read_file(dir / "run.log");
  EXPECT_TRUE(log.starts_with(earlier)) << log.size() << " bytes left";
  EXPECT_TRUE(log.ends_with("\r\n"));
}

TEST_F(Hostile, MemoryThatRunsOutForOneEntryEndsOnlyThatEntryUnderKeepGoing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit leaves";
#endif
  // 600 MiB of text, more than the memory the run may take.
  write_file(dir / "PDB/large.pdb", testing_support::gzip_zeros(10, 60 * MiB));
  write_file(dir / "Files.ini", "large.pdb\n1a8o.pdb\n");
  ToolOptions limited;
  limited.memory_limit = 384L << 20;
  const ToolRun result = run("2\nCA\n2\n", {"-k", "--no-pause"}, limited);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err, "extract: severe (41): insufficient virtual memory\r\nextract: 1 of 2 entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " 1a8o.bck    \r\n");
}

}  // namespace
