// Runs the built `extract` as a user would: in a working directory, with
// the answers on standard input.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support.hpp"

namespace testing_support {

struct ToolRun {
  std::string out;          // standard output, byte for byte
  std::string err;          // standard error
  int status = -1;          // exit status, or 128 + signal when killed by one
  double seconds = 0.0;     // wall time
  long peak_memory_kb = 0;  // largest resident set
};

struct ToolOptions {
  std::filesystem::path stdout_path;  // where standard output goes; a scratch file when empty
  long file_size_limit = -1;          // bytes any file may grow to, when not negative
  long memory_limit = -1;             // bytes of address space, when not negative
  std::vector<std::string> arguments = {};
  bool close_standard_error = false;       // started with 2>&-
  std::filesystem::path stdin_path = {};   // standard input, instead of the answers typed
  std::filesystem::path stderr_path = {};  // where standard error goes; a scratch file when empty
  bool append_output = false;              // standard output appended to (>>), not replaced
  long open_files_limit = -1;              // descriptors the run may have open, when not negative
  int processors = 0;                      // pinned to that many of the test's processors, when not 0
};

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers, const ToolOptions& options = {});

// A run that the test steers while it goes: answers typed on a pipe that
// stays open (unless `stdin_path` is given), signals sent at chosen moments. Standard output goes to a
// file, or to a pipe the test reads (`output_pipe`).
class RunningTool {
 public:
  RunningTool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
              const ToolOptions& options = {}, bool output_pipe = false);
  ~RunningTool();
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  void type(std::string_view text);
  // Waits up to `limit` until standard output (a file) shows `marker`.
  bool wait_for_output(std::string_view marker, std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
  void signal(int signal_number) const;
  int output() const { return output_read_; }  // the pipe's read end, with `output_pipe`
  pid_t pid() const { return child_; }

  // Waits for the end, at most `limit`; a run that outlives it is killed
  // (status 128 + SIGKILL), so a hang fails the test instead of stalling it.
  ToolRun finish(std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  TempDir streams_;
  std::filesystem::path out_;
  pid_t child_ = -1;
  int input_write_ = -1;
  int output_read_ = -1;
  std::chrono::steady_clock::time_point started_;
};

// Sends `signal_number` to `tool` and waits up to `limit` for the end of the
// run; also how many seconds the run took to end after the signal.
std::pair<ToolRun, double> end_with(RunningTool& tool, int signal_number,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10));

// Feeds `answers` on a pipe that stays open, waits until standard output
// shows `marker`, then sends `signal_number`, as a user pressing a key or
// closing the window at that moment.
ToolRun interrupt_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                       std::string_view answers, std::string_view marker, int signal_number);

}  // namespace testing_support
