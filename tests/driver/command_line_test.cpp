// The command line: options only; help and version answered before the
// banner; anything else told on standard error with status 2.

#include <gtest/gtest.h>

#include "run_tool.hpp"
#include "support.hpp"

namespace {

TEST(CommandLine, HelpVersionAndMistakes) {
  struct Case {
    std::vector<std::string> arguments;
    std::string_view out_starts;  // standard output begins with it
    std::string_view err_has;     // standard error holds it
    int status;
  };
  const Case cases[] = {
      {{"--help"},
       "Usage: extract [-k|--keep-going] [--no-pause] [--max-entry-size=SIZE]\n"
       "               [-j N|--jobs=N] [--progress]\n",
       "",
       0},
      {{"-h"}, "Usage: extract [-k|--keep-going] [--no-pause] [--max-entry-size=SIZE]\n", "", 0},
      {{"-j", "2", "--help"}, "Usage: extract", "", 0},
      {{"--jobs=0", "--progress", "-j8", "--help"}, "Usage: extract", "", 0},
      {{"-k", "--help"}, "Usage: extract", "", 0},
      {{"--version"}, "extract 1.31\n", "", 0},
      {{"-V"}, "extract 1.31\n", "", 0},
      {{"--bogus"}, "", "extract: unrecognized option '--bogus'\nUsage: extract", 2},
      {{"-x"}, "", "extract: unrecognized option '-x'\nUsage: extract", 2},
      {{"--help=all"}, "", "extract: unrecognized option '--help'\n", 2},
      {{"Files.ini"}, "", "extract: unexpected argument 'Files.ini'\nUsage: extract", 2},
      {{"-k", "--", "x"}, "", "extract: unexpected argument 'x'\n", 2},
      {{"--max-entry-size"}, "", "extract: option '--max-entry-size' requires an argument\nUsage: extract", 2},
      {{"--max-entry-size=12X"}, "", "extract: invalid size '12X' for '--max-entry-size'\n", 2},
      {{"--max-entry-size=0"}, "", "extract: invalid size '0' for '--max-entry-size'\n", 2},
      {{"--max-entry-size=-1"}, "", "extract: invalid size '-1' for '--max-entry-size'\n", 2},
      {{"--max-entry-size=1K2"}, "", "extract: invalid size '1K2' for '--max-entry-size'\n", 2},
      {{"--max-entry-size=99999999999G"}, "", "extract: invalid size '99999999999G' for", 2},
      {{"--max-entry-size=", "--help"}, "", "extract: invalid size '' for '--max-entry-size'\n", 2},
      {{"--max-entry-size", "1M", "--help"}, "Usage: extract", "", 0},
      {{"--max-entry-size=3G", "--help"}, "Usage: extract", "", 0},
      {{"-j"}, "", "extract: option '-j' requires an argument\nUsage: extract", 2},
      {{"--jobs"}, "", "extract: option '--jobs' requires an argument\n", 2},
      {{"-j", "two"}, "", "extract: invalid number of jobs 'two' (0 to 1024)\n", 2},
      {{"--jobs=-1"}, "", "extract: invalid number of jobs '-1' (0 to 1024)\n", 2},
      {{"-j", "1025"}, "", "extract: invalid number of jobs '1025' (0 to 1024)\n", 2},
      {{"-j", "4x"}, "", "extract: invalid number of jobs '4x' (0 to 1024)\n", 2},
      {{"--jobs="}, "", "extract: invalid number of jobs '' (0 to 1024)\n", 2},
  };
  testing_support::TempDir dir;
  for (const auto& c : cases) {
    testing_support::ToolOptions options;
    options.arguments = c.arguments;
    const auto run = testing_support::run_tool(EXTRACT_BINARY, dir.path(), "", options);
    const std::string what = c.arguments.front() + (c.arguments.size() > 1 ? " ..." : "");
    EXPECT_EQ(run.status, c.status) << what;
    EXPECT_TRUE(run.out.starts_with(c.out_starts)) << what << ": " << run.out;
    if (c.out_starts.empty()) {
      EXPECT_EQ(run.out, "") << what;
    }
    EXPECT_NE(run.err.find(c.err_has), std::string::npos) << what << ": " << run.err;
    if (c.err_has.empty()) {
      EXPECT_EQ(run.err, "") << what;
    }
  }
}

TEST(CommandLine, HelpNamesEveryOptionAndStatus) {
  testing_support::TempDir dir;
  testing_support::ToolOptions options;
  options.arguments = {"--help"};
  const std::string help = testing_support::run_tool(EXTRACT_BINARY, dir.path(), "", options).out;
  for (const std::string_view part : {"--keep-going", "--no-pause", "--max-entry-size", "--jobs", "--progress",
                                      "--long-names", "--allow-no-resolution", "--help", "--version", "Files.ini",
                                      "goodfiles.txt", "source/", "PDB/", "Exit status"}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
  std::size_t start = 0;
  while (start < help.size()) {
    const std::size_t end = help.find('\n', start);
    EXPECT_LE(end - start, 80U) << help.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
