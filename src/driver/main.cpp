// The process: reads the command line, sets up the console and runs EXTRACT
// to the end of the run.

#include <malloc.h>
#include <unistd.h>

#include "driver/driver.hpp"
#include "records/control_events.hpp"
#include "records/system_calls.hpp"

namespace {

int answer(const driver::Answer& answer) {
  records::Output out = answer.to_standard_error ? records::Output::errors() : records::Output::console();
  try {
    out.record().text(answer.text).hold();
    out.flush();
  } catch (...) {
    return answer.status == 0 ? 1 : answer.status;
  }
  return answer.status;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Helper threads allocate from the process's one heap: a heap of their
  // own would reserve 64 MiB of address space per thread, which a memory
  // limit (ulimit -v) counts and which stays after the thread is gone, so
  // that -j N could run out where -j 1 does not.
  ::mallopt(M_ARENA_MAX, 1);
  // Before anything is opened: no file may take a standard descriptor.
  records::open_missing_standard_descriptors();
  records::install_control_event_handlers();

  const auto command_line = driver::parse_command_line(argc, argv);
  if (const auto* given = std::get_if<driver::Answer>(&command_line)) return answer(*given);
  driver::Settings settings = std::get<driver::Run>(command_line).settings;

  records::Output console = records::Output::console();
  records::Output errors = records::Output::errors();
  records::ConsoleInput console_in(console);
  // The progress line is for a person watching, never for a file.
  settings.progress = settings.progress && records::system_calls.isatty(STDERR_FILENO) == 1;
  settings.console_on_terminal = records::system_calls.isatty(STDOUT_FILENO) == 1;
  return driver::run_to_the_end(console, console_in, errors, settings);
}
