// Runs the built `extract` as a user would: in a working directory, with
// the answers on standard input.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
  std::filesystem::path stdout_path = {};  // where standard output goes; a scratch file when empty
  long file_size_limit = -1;               // bytes any file may grow to, when not negative
  long memory_limit = -1;                  // bytes of address space, when not negative
  std::vector<std::string> arguments = {};
  bool close_standard_error = false;       // started with 2>&-
  std::filesystem::path stdin_path = {};   // standard input, instead of the answers typed
  std::filesystem::path stderr_path = {};  // where standard error goes; a scratch file when empty
  bool append_output = false;              // standard output appended to (>>), not replaced
  std::vector<int> ignored_signals = {};   // ignored when the run starts, as nohup or a shell's trap '' leaves them
  long open_files_limit = -1;              // descriptors the run may have open, when not negative
  int processors = 0;                      // pinned to that many of the test's processors, when not 0
};

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers, const ToolOptions& options = {});

// How a test reads standard output from a pipe: in pieces of at most
// `piece` bytes, `pause` after each (a reader slower than the run).
struct ReadingPace {
  std::size_t piece = std::size_t{64} << 10;
  std::chrono::microseconds pause{0};
};

// A run that the test steers while it goes: answers typed on a pipe that
// stays open (unless `stdin_path` is given), signals sent at chosen
// moments. Standard output goes to a file, or to a pipe the test reads
// (`output_pipe`).
//
// A moment in the middle of a run is chosen by what the run has shown or
// by the state it is seen in, never by a delay measured on the test's
// clock: on a loaded machine the run may not have got anywhere by then, or
// be over. The limits that the waits take only keep a run that hangs from
// stalling the test.
class RunningTool {
 public:
  RunningTool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
              const ToolOptions& options = {}, bool output_pipe = false);
  ~RunningTool();
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  void type(std::string_view text);
  // Waits up to `limit` until standard output (a file) shows `marker`.
  bool wait_for_output(std::string_view marker, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
  // Reads standard output (the pipe) until what was read holds `marker`
  // `times` times; false when the output ends first or `limit` passes. The
  // run cannot get further ahead of what was read than the pipe and its own
  // buffer hold.
  bool read_output_until(std::string_view marker, int times = 1, ReadingPace pace = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(60));
  // Waits up to `limit` until `holds` is true of the run.
  bool wait_until(const std::function<bool()>& holds, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
  // Whether the run's main thread sleeps, waiting for something (a pipe
  // with room, input, a child).
  bool asleep() const;
  void signal(int signal_number) const;
  pid_t pid() const { return child_; }

  // Waits for the end, at most `limit`, reading standard output meanwhile
  // when it is a pipe; a run that outlives the limit is killed (status
  // 128 + SIGKILL), so a hang fails the test instead of stalling it. The
  // output read from the pipe, before and now, is the run's `out`.
  ToolRun finish(std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  // Reads at most `piece` bytes from the pipe once it has some, waiting up
  // to `wait_ms` for them: the bytes read, 0 at its end, -1 when none came.
  long read_some(std::size_t piece, int wait_ms);

  TempDir streams_;
  std::filesystem::path out_;
  pid_t child_ = -1;
  int input_write_ = -1;
  int output_read_ = -1;
  std::string shown_;  // read from the pipe so far
  std::chrono::steady_clock::time_point started_;
};

// How many seconds a run may take to end after a control event in the
// tests. The tool ends within a fraction of a second; the bound leaves room
// for a loaded machine and the sanitizers, and each test makes sure that a
// run which did not act on the event would take far longer or never end.
inline constexpr double ends_within_seconds = 5.0;

// Sends `signal_number` to `tool` and waits up to `limit` for the end of the
// run; also how many seconds the run took to end after the signal.
std::pair<ToolRun, double> end_with(RunningTool& tool, int signal_number,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10));

// Feeds `answers` on a pipe that stays open, waits until standard output
// shows `marker`, then sends `signal_number`, as a user pressing a key or
// closing the window at that moment.
ToolRun interrupt_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                       std::string_view answers, std::string_view marker, int signal_number,
                       const ToolOptions& options = {});

// Whether the process `pid` has `file` mapped into its memory.
bool has_mapped(pid_t pid, std::string_view file);

}  // namespace testing_support
