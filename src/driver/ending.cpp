// The end of a run: the failure that ended it turned into its one
// diagnostic line and exit status.

#include <new>
#include <string>

#include "driver/driver.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"

namespace driver {
namespace {

// Some entries were passed over under --keep-going.
constexpr int entries_failed_status = 3;

// The run's last line on standard error (none when empty), after
// everything on the console, and the exit status that goes with it.
int end_with(records::Output& console, records::Output& errors, std::string_view line, int status) {
  // Standard output first, so the diagnostic follows everything shown. Like
  // every console line, it ends with CR LF.
  console.flush_quietly();
  if (!line.empty()) errors.write_quietly(line);
  return status;
}

// As `end_with`, unless a control event arrived: then the run ends as that
// event, whatever came after it. A failure after it may be its own doing
// (a console closed with the window), and whoever sent the signal is told
// by the status that it was acted on.
int end_unless_an_event_came(records::Output& console, records::Output& errors, std::string_view line, int status) {
  if (const int signal_number = records::noted_control_event(); signal_number != 0) {
    try {
      const records::ControlEvent event(signal_number);
      return end_with(console, errors, event.what(), 128 + signal_number);
    } catch (const std::bad_alloc&) {
      // No memory even for its line: the failure's own ending, made in
      // advance, is told instead.
    }
  }
  return end_with(console, errors, line, status);
}

}  // namespace

int run_to_the_end(records::Output& console, records::LineSource& console_in, records::Output& errors,
                   Settings settings) {
  settings.errors = &errors;
  // Made now: once memory has run out, the diagnostic must not need any.
  const std::string out_of_memory = records::IoError(records::Failure::out_of_memory).what();
  try {
    const Summary summary = EXTRACT(console, console_in, settings);
    console.flush();
    if (summary.failed == 0) return end_unless_an_event_came(console, errors, {}, 0);
    const std::string counted = "extract: " + std::to_string(summary.failed) + " of " +
                                std::to_string(summary.entries) + " entries failed";
    return end_unless_an_event_came(console, errors, counted, entries_failed_status);
  } catch (const records::IoError& error) {
    return end_unless_an_event_came(console, errors, error.line(), 1);
  } catch (const records::ControlEvent& event) {
    return end_with(console, errors, event.what(), 128 + event.signal_number());
  } catch (const std::bad_alloc&) {
    return end_unless_an_event_came(console, errors, out_of_memory, 1);
  }
}

}  // namespace driver
