// The process: reads the command line, runs EXTRACT and turns a failure into
// its one diagnostic line and exit status.

#include <malloc.h>
#include <unistd.h>

#include <new>

#include "driver/driver.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"

namespace {

// Some entries were passed over under --keep-going.
constexpr int entries_failed_status = 3;

// The run's last line on standard error, after everything on the console, and
// the exit status that goes with it.
int end_with(records::Output& console, records::Output& errors, std::string_view line, int status) {
  // Standard output first, so the diagnostic follows everything shown. Like
  // every console line, it ends with CR LF.
  console.flush_quietly();
  errors.write_quietly(line);
  return status;
}

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
  settings.errors = &errors;
  // The progress line is for a person watching, never for a file.
  settings.progress = settings.progress && ::isatty(STDERR_FILENO) == 1;
  settings.console_on_terminal = ::isatty(STDOUT_FILENO) == 1;
  // Made now: once memory has run out, the diagnostic must not need any.
  const std::string out_of_memory = records::IoError(records::Failure::out_of_memory).what();
  try {
    const driver::Summary summary = driver::EXTRACT(console, console_in, settings);
    console.flush();
    if (summary.failed == 0) return 0;
    const std::string counted =
        "extract: " + std::to_string(summary.failed) + " of " + std::to_string(summary.entries) + " entries failed";
    return end_with(console, errors, counted, entries_failed_status);
  } catch (const records::IoError& error) {
    return end_with(console, errors, error.line(), 1);
  } catch (const records::ControlEvent& event) {
    return end_with(console, errors, event.what(), 128 + event.signal_number());
  } catch (const std::bad_alloc&) {
    return end_with(console, errors, out_of_memory, 1);
  }
}
