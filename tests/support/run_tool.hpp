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
  double seconds = 0.0;        // wall time
  long peak_memory_kb = 0;     // largest resident set
};

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers);

}  // namespace testing_support
