#include "run_tool.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace {

void limit(int resource, long bytes) {
  if (bytes < 0) return;
  const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(resource, &value);
}

// Confines the calling process to the first `count` of the processors it
// may use, as taskset would.
void pin(int count) {
  if (count <= 0) return;
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (sched_getaffinity(0, sizeof usable, &usable) != 0) return;
  cpu_set_t pinned;
  CPU_ZERO(&pinned);
  for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
    if (CPU_ISSET(cpu, &usable)) {
      CPU_SET(cpu, &pinned);
      ++taken;
    }
  }
  sched_setaffinity(0, sizeof pinned, &pinned);
}

// Every descriptor the test makes is close-on-exec: a pipe's write end that
// leaked into the tool would keep its input open for ever.
int open_cloexec(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  return fd;
}

std::array<int, 2> make_pipe() {
  std::array<int, 2> ends{};
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  return ends;
}

struct ChildStreams {
  int in;
  int out;
  int err;  // -1: closed
};

pid_t start(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
            const ChildStreams& streams, const ToolOptions& options) {
  std::vector<std::string> words{binary.string()};
  words.insert(words.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string directory = working_directory.string();

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child != 0) return child;
  if (chdir(directory.c_str()) != 0) _exit(127);
  dup2(streams.in, 0);
  dup2(streams.out, 1);
  if (streams.err >= 0) {
    dup2(streams.err, 2);
  } else {
    close(2);
  }
  limit(RLIMIT_FSIZE, options.file_size_limit);
  limit(RLIMIT_AS, options.memory_limit);
  for (const int ignored : options.ignored_signals) std::signal(ignored, SIG_IGN);
  limit(RLIMIT_NOFILE, options.open_files_limit);
  pin(options.processors);
  execv(argv[0], argv.data());
  _exit(127);
}

// What a finished run left: its streams, status, time and memory.
ToolRun result_of(int status, const rusage& usage, std::chrono::steady_clock::time_point started,
                  const std::filesystem::path& out, const std::filesystem::path& err) {
  ToolRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.peak_memory_kb = usage.ru_maxrss;
  run.out = out.empty() || out.string().starts_with("/dev/") ? "" : read_file(out);
  if (std::filesystem::exists(err)) run.err = read_file(err);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

RunningTool::RunningTool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                         const ToolOptions& options, bool output_pipe) {
  out_ = options.stdout_path.empty() ? streams_ / "stdout" : options.stdout_path;
  const auto input = make_pipe();
  int out_fd = -1;
  if (output_pipe) {
    const auto output = make_pipe();
    output_read_ = output[0];
    out_fd = output[1];
  } else {
    out_fd = open_cloexec(out_, O_WRONLY | O_CREAT | O_TRUNC);
  }
  const int err_fd =
      options.close_standard_error ? -1 : open_cloexec(streams_ / "stderr", O_WRONLY | O_CREAT | O_TRUNC);
  const int in_fd = options.stdin_path.empty() ? input[0] : open_cloexec(options.stdin_path, O_RDONLY);
  started_ = std::chrono::steady_clock::now();
  child_ = start(binary, working_directory, {in_fd, out_fd, err_fd}, options);
  close(input[0]);
  if (in_fd != input[0]) close(in_fd);
  close(out_fd);
  if (err_fd >= 0) close(err_fd);
  input_write_ = input[1];
}

RunningTool::~RunningTool() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (input_write_ >= 0) close(input_write_);
  if (output_read_ >= 0) close(output_read_);
}

void RunningTool::type(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(input_write_, text.data(), text.size());
    // A run that ended (a signal may end it at once) takes no more answers:
    // what it did is in its result.
    if (n < 0 && errno == EPIPE) return;
    if (n <= 0) throw std::runtime_error("cannot type the answers");
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool RunningTool::wait_for_output(std::string_view marker, std::chrono::milliseconds limit) const {
  return wait_until(
      [&] { return std::filesystem::exists(out_) && read_file(out_).find(marker) != std::string::npos; }, limit);
}

long RunningTool::read_some(std::size_t piece, int wait_ms) {
  pollfd readable{output_read_, POLLIN, 0};
  if (poll(&readable, 1, wait_ms) <= 0) return -1;
  const std::size_t before = shown_.size();
  shown_.resize(before + piece);
  const ssize_t n = read(output_read_, shown_.data() + before, piece);
  shown_.resize(before + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  return n < 0 ? -1 : static_cast<long>(n);
}

bool RunningTool::read_output_until(std::string_view marker, int times, ReadingPace pace,
                                    std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  int found = 0;
  std::size_t searched = 0;
  for (;;) {
    for (std::size_t at = shown_.find(marker, searched); at != std::string::npos; at = shown_.find(marker, searched)) {
      ++found;
      searched = at + 1;
    }
    if (found >= times) return true;
    // A marker may begin in what was read and end in what comes next.
    searched = std::max(searched, shown_.size() - std::min(shown_.size(), marker.size() - 1));
    if (std::chrono::steady_clock::now() > until || read_some(pace.piece, 10) == 0) return false;
    if (pace.pause.count() > 0) std::this_thread::sleep_for(pace.pause);
  }
}

bool RunningTool::wait_until(const std::function<bool()>& holds, std::chrono::milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  do {
    if (holds()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < until);
  return false;
}

bool RunningTool::asleep() const {
  // "pid (name) S ...": the state follows the last parenthesis.
  std::ifstream stat("/proc/" + std::to_string(child_) + "/stat");
  const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t name_end = line.rfind(')');
  return name_end != std::string::npos && name_end + 2 < line.size() && line[name_end + 2] == 'S';
}

void RunningTool::signal(int signal_number) const {
  kill(child_, signal_number);
}

ToolRun RunningTool::finish(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  int status = 0;
  rusage usage{};
  while (wait4(child_, &status, WNOHANG, &usage) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(child_, SIGKILL);
      wait4(child_, &status, 0, &usage);
      break;
    }
    if (output_read_ < 0 || read_some(std::size_t{64} << 10, 1) < 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  child_ = -1;
  // What is left in the pipe; a command started at a pause may still hold
  // it open, so only what is there now.
  if (output_read_ >= 0) {
    while (read_some(std::size_t{64} << 10, 0) > 0) {
    }
  }
  ToolRun run =
      result_of(status, usage, started_, output_read_ >= 0 ? std::filesystem::path() : out_, streams_ / "stderr");
  if (output_read_ >= 0) run.out = shown_;
  return run;
}

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers, const ToolOptions& options) {
  // Answers from a file, so that any amount is read without a writer.
  const TempDir scratch;
  write_file(scratch / "stdin", answers);
  const int stdin_fd = open_cloexec(options.stdin_path.empty() ? scratch / "stdin" : options.stdin_path, O_RDONLY);
  const TempDir streams;
  const auto out = options.stdout_path.empty() ? streams / "stdout" : options.stdout_path;
  const int out_fd = open_cloexec(out, O_WRONLY | O_CREAT | (options.append_output ? O_APPEND : O_TRUNC));
  const auto err = options.stderr_path.empty() ? streams / "stderr" : options.stderr_path;
  const int err_fd = options.close_standard_error ? -1 : open_cloexec(err, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY);
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = start(binary, working_directory, {stdin_fd, out_fd, err_fd}, options);
  close(stdin_fd);
  close(out_fd);
  if (err_fd >= 0) close(err_fd);

  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return result_of(status, usage, started, out, streams / "stderr");
}

std::pair<ToolRun, double> end_with(RunningTool& tool, int signal_number, std::chrono::milliseconds limit) {
  const auto signalled = std::chrono::steady_clock::now();
  tool.signal(signal_number);
  ToolRun result = tool.finish(limit);
  return {std::move(result), std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count()};
}

ToolRun interrupt_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                       std::string_view answers, std::string_view marker, int signal_number,
                       const ToolOptions& options) {
  RunningTool tool(binary, working_directory, options);
  tool.type(answers);
  // The tool flushes its output before it waits for the console.
  tool.wait_for_output(marker);
  tool.signal(signal_number);
  return tool.finish();
}

bool has_mapped(pid_t pid, std::string_view file) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find(file) != std::string::npos) return true;
  }
  return false;
}

}  // namespace testing_support
