// The pause: the run waits until the user enters an empty line.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "records.hpp"

extern char** environ;

namespace records {

void run_shell_command(const std::string& command) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The command gets the signal dispositions of a fresh process, not the
  // ones this tool set for its own writes.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = 0;
  // What the command does, or whether it can run at all, is the command
  // processor's business: it reports its own failures.
  if (posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv), environ) == 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawnattr_destroy(&attributes);
}

void pause(Output& console, LineSource& console_in, CommandRunner run) {
  for (;;) {
    console.record().text("Korvane Pause - Enter command<CR> or <CR> to continue.").end();
    const auto line = console_in.next_line();
    if (!line) throw IoError(Failure::end_of_file, console_in.unit(), console_in.file());
    if (line->empty()) return;
    std::string command(*line);
    console.flush();
    run(command);
    throw_if_control_event();
  }
}

}  // namespace records
