// Runs the built `extract` as a user would: in a working directory, with
// the answers on standard input.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

struct ToolRun {
  std::string out;  // standard output, byte for byte
  std::string err;  // standard error
  int status = -1;  // exit status, or 128 + signal when killed by one
  double seconds = 0.0;     // wall time
  long peak_memory_kb = 0;  // largest resident set
};

struct ToolOptions {
  std::filesystem::path stdout_path;  // where standard output goes; a scratch file when empty
  long file_size_limit = -1;          // bytes any file may grow to, when not negative
  long memory_limit = -1;             // bytes of address space, when not negative
};

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers, const ToolOptions& options = {});

// Feeds `answers` on a pipe that stays open, waits until standard output
// shows `marker`, then sends `signal_number`, as a user pressing a key or
// closing the window at that moment.
ToolRun interrupt_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                       std::string_view answers, std::string_view marker, int signal_number);

}  // namespace testing_support
