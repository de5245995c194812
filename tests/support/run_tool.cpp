#include "run_tool.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "support.hpp"

namespace testing_support {

ToolRun run_tool(const std::filesystem::path& binary, const std::filesystem::path& working_directory,
                 std::string_view answers) {
  const TempDir streams;
  write_file(streams / "stdin", answers);
  const std::string in = (streams / "stdin").string();
  const std::string out = (streams / "stdout").string();
  const std::string err = (streams / "stderr").string();
  const std::string program = binary.string();
  const std::string directory = working_directory.string();

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int fd_in = open(in.c_str(), O_RDONLY);
    const int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fd_err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_in < 0 || fd_out < 0 || fd_err < 0 || chdir(directory.c_str()) != 0) _exit(127);
    dup2(fd_in, 0);
    dup2(fd_out, 1);
    dup2(fd_err, 2);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);

  ToolRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.peak_memory_kb = usage.ru_maxrss;
  run.out = read_file(out);
  run.err = read_file(err);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace testing_support
