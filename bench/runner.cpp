// runner: runs one command the way run.sh times it and prints
// "<wall seconds> <peak RSS in KiB> <exit status>".
//
//   runner DIR STDIN STDOUT STDERR -- PROGRAM [ARGS...]
//
// The child starts in DIR with its standard streams on the given files, so
// that the clock covers the program and nothing of the shell around it; the
// peak RSS comes from the child's own rusage.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

[[noreturn]] void child(char** argv) {
  const auto redirect = [](const char* path, int flags, int fd) {
    const int opened = ::open(path, flags | O_CLOEXEC, 0666);
    if (opened < 0 || ::dup2(opened, fd) < 0) {
      std::fprintf(stderr, "runner: %s: %s\n", path, std::strerror(errno));
      ::_exit(126);
    }
  };
  if (::chdir(argv[1]) != 0) {
    std::fprintf(stderr, "runner: %s: %s\n", argv[1], std::strerror(errno));
    ::_exit(126);
  }
  redirect(argv[2], O_RDONLY, STDIN_FILENO);
  redirect(argv[3], O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
  redirect(argv[4], O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
  ::execv(argv[6], argv + 6);
  std::fprintf(stderr, "runner: %s: %s\n", argv[6], std::strerror(errno));
  ::_exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7 || std::strcmp(argv[5], "--") != 0) {
    std::fprintf(stderr, "usage: %s DIR STDIN STDOUT STDERR -- PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("runner: fork");
    return 2;
  }
  if (pid == 0) child(argv);

  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("runner: wait4");
      return 2;
    }
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %ld %d\n", wall.count(), usage.ru_maxrss, code);
  return 0;
}
