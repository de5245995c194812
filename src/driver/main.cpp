// The process: runs EXTRACT and turns a failure into its one diagnostic line.

#include <cstdio>
#include <new>

#include "driver.hpp"

namespace {

int fail(records::Output& console, const char* diagnostic, int status) {
  // Standard output first, so the diagnostic follows everything shown. Like
  // every console line, it ends with CR LF.
  console.flush_quietly();
  std::fprintf(stderr, "%s\r\n", diagnostic);
  std::fflush(stderr);
  return status;
}

}  // namespace

int main() {
  records::install_control_event_handlers();
  records::Output console = records::Output::console();
  records::ConsoleInput console_in(console);
  // Made now: once memory has run out, the diagnostic must not need any.
  const std::string out_of_memory = records::IoError(records::Failure::out_of_memory).what();
  try {
    driver::EXTRACT(console, console_in);
    console.flush();
    return 0;
  } catch (const records::IoError& error) {
    return fail(console, error.what(), 1);
  } catch (const records::ControlEvent& event) {
    return fail(console, event.what(), 128 + event.signal_number());
  } catch (const std::bad_alloc&) {
    return fail(console, out_of_memory.c_str(), 1);
  }
}
