// A whole session run inside the test's own process, as the session fuzz
// target runs it: the answers from a string, the console kept in memory,
// the entries and Files.ini held in memory (or read from the scratch
// directory), the exports and goodfiles.txt written to a scratch working
// directory. For the cases that test the dialogue: the ten of
// session_test.cpp took 0.6 s as runs of the built program and take 0.1 s
// this way (debug build). Cases that need signals, limits, the real console
// or the program's exit status start the program itself (run_tool.hpp).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.hpp"
#include "support.hpp"
#include "test_doubles.hpp"
#include "working_directory.hpp"

namespace testing_support {

// What a session came to.
struct SessionOutcome {
  std::string out;      // the console, byte for byte
  std::string errors;   // what an entry's failure under keep_going reported
  std::string failure;  // the diagnostic line of the failure that ended the run, if one did
  driver::Summary summary;
  std::vector<std::string> commands;  // the lines typed at a pause, in order; never run
};

struct SessionOptions {
  bool keep_going = false;
  bool no_pause = false;
  // Entries and Files.ini read from the scratch directory instead of `files`.
  bool real_files = false;
  unsigned jobs = 1;
};

// A scratch working directory with an empty source/, and files in memory.
class SessionInProcess {
 public:
  SessionInProcess();

  SessionOutcome run(std::string_view answers, const SessionOptions& options = {});
  bool exists(std::string_view name) const { return std::filesystem::exists(dir / name); }

  TempDir dir;
  FilesInMemory files;  // "PDB/<name>" and "Files.ini"
};

}  // namespace testing_support
