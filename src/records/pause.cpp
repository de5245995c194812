// The pause: the run waits until the user enters an empty line.

#include "records/pause.hpp"

#include <spawn.h>
#include <string.h>

#include <cerrno>
#include <csignal>

#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "waits.hpp"

extern char** environ;

namespace records {
namespace {

// Spawn attributes, released however the spawn ends.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    // The command gets the signal dispositions of a fresh process, not the
    // ones this tool set for its own writes.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
};

}  // namespace

int run_shell_command(const std::string& command) {
  const SpawnAttributes attributes;
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = 0;
  // What the command does once it runs is the command processor's business:
  // it reports its own failures.
  const int failed = posix_spawn(&child, "/bin/sh", nullptr, attributes.get(), const_cast<char* const*>(argv), environ);
  if (failed != 0) return failed;
  wait_for_child(child);
  return 0;
}

void pause(Output& console, LineSource& console_in, const CommandRunner& run) {
  for (;;) {
    pause_without_waiting(console);
    const auto line = console_in.next_line();
    if (!line) throw IoError(Failure::end_of_file, console_in.unit(), console_in.file());
    if (line->empty()) return;
    const std::string command(*line);
    console.flush();
    if (const int failed = run(command); failed != 0) {
      console.record().text(" The command could not be started: ").text(::strerror(failed)).end();
    }
    throw_if_control_event();
  }
}

void pause_without_waiting(Output& console) {
  console.record().text("Korvane Pause - Enter command<CR> or <CR> to continue.").end();
}

}  // namespace records
