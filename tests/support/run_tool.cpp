#include "run_tool.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "support.hpp"

namespace testing_support {
namespace {

struct Streams {
  TempDir dir;
  std::string out = (dir / "stdout").string();
  std::string err = (dir / "stderr").string();
};

// Starts the tool with `stdin_fd` as its standard input.
void limit(int resource, long bytes) {
  if (bytes < 0) return;
  const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(resource, &value);
}

pid_t start(const std::filesystem::path& binary, const std::filesystem::path& working_directory, int stdin_fd,
            const std::string& out, const std::string& err, const ToolOptions& options) {
  const std::string program = binary.string();
  const std::string directory = working_directory.string();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child != 0) return child;

  const int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int fd_err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd_out < 0 || fd_err < 0 || chdir(directory.c_str()) != 0) _exit(127);
  dup2(stdin_fd, 0);
  dup2(fd_out, 1);
  dup2(fd_err, 2);
  limit(RLIMIT_FSIZE, options.file_size_limit);
  limit(RLIMIT_AS, options.memory_limit);
  execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

ToolRun finish(pid_t child, const Streams& streams, const std::string& out,
               std::chrono::steady_clock::time_point started) {
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  ToolRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.peak_memory_kb = usage.ru_maxrss;
  run.out = out.starts_with("/dev/") ? "" : read_file(out);
  run.err = read_file(streams.err);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers, const ToolOptions& options) {
  const Streams streams;
  write_file(streams.dir / "stdin", answers);
  const std::string out = options.stdout_path.empty() ? streams.out : options.stdout_path.string();
  const int stdin_fd = open((streams.dir / "stdin").c_str(), O_RDONLY);
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = start(binary, working_directory, stdin_fd, out, streams.err, options);
  close(stdin_fd);
  return finish(child, streams, out, started);
}

ToolRun interrupt_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                       std::string_view answers, std::string_view marker, int signal_number) {
  const Streams streams;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = start(binary, working_directory, pipe_fds[0], streams.out, streams.err, {});
  close(pipe_fds[0]);
  if (write(pipe_fds[1], answers.data(), answers.size()) != static_cast<ssize_t>(answers.size())) {
    throw std::runtime_error("cannot write the answers");
  }
  // The tool flushes its output before it waits for the console.
  const auto shows_marker = [&] {
    return std::filesystem::exists(streams.out) && read_file(streams.out).find(marker) != std::string::npos;
  };
  for (int wait = 0; wait < 3000 && !shows_marker(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(child, signal_number);
  ToolRun run = finish(child, streams, streams.out, started);
  close(pipe_fds[1]);
  return run;
}

}  // namespace testing_support
