// The diagnostic lines of the failures that end a run and of the console
// control events.

#include "records/failures.hpp"

#include <cerrno>
#include <csignal>
#include <string>

namespace records {
namespace {

constexpr std::string_view prefix = "extract";

std::string_view message_text(Failure failure) {
  switch (failure) {
    case Failure::permission_denied:
      return "permission to access file denied";
    case Failure::end_of_file:
      return "end-of-file during read";
    case Failure::file_not_found:
      return "file not found";
    case Failure::open_failure:
      return "open failure";
    case Failure::write_error:
      return "error during write";
    case Failure::corrupt_compressed_data:
      return "corrupt or truncated compressed data";
    case Failure::out_of_memory:
      return "insufficient virtual memory";
    case Failure::too_large:
      return "file larger than the size limit";
    case Failure::file_changed:
      return "file changed while read";
    case Failure::list_directed_syntax:
      return "list-directed I/O syntax error";
    case Failure::input_conversion:
      return "input conversion error";
    case Failure::chain_name_too_long:
      return "chain name too long for its field";
    case Failure::malformed_mmcif:
      return "malformed mmCIF data";
  }
  return "unknown error";
}

std::string diagnostic_line(std::string_view severity, int number, std::string_view message) {
  std::string line;
  line.append(prefix).append(": ").append(severity).append(" (");
  line.append(std::to_string(number)).append("): ").append(message);
  return line;
}

}  // namespace

IoError::IoError(Failure failure, int unit, std::string_view file)
    : failure_(failure), unit_(unit), file_(file), diagnostic_(diagnostic_line("severe", number(), message())) {}

IoError::IoError(Failure failure, int unit, std::string_view file, std::string_view detail)
    : failure_(failure),
      unit_(unit),
      file_(file),
      detail_(detail),
      diagnostic_(diagnostic_line("severe", number(), message())) {}

IoError::IoError(Failure failure)
    : failure_(failure), diagnostic_(diagnostic_line("severe", number(), message_text(failure))) {}

IoError IoError::refused_name(int unit, std::string_view file) {
  IoError error(Failure::open_failure, unit, file);
  error.name_refused_ = true;
  error.of_the_name_ = true;
  return error;
}

IoError IoError::on_the_names_way(Failure failure, int unit, std::string_view file) {
  IoError error(failure, unit, file);
  error.of_the_name_ = true;
  return error;
}

std::string IoError::message() const {
  std::string text(message_text(failure_));
  if (!detail_.empty()) text.append(", ").append(detail_);
  if (failure_ != Failure::out_of_memory) {
    text.append(", unit ").append(std::to_string(unit_)).append(", file ").append(file_);
  }
  return text;
}

ControlEvent::ControlEvent(int signal_number) : signal_(signal_number) {
  std::string_view event = "control-C";
  if (signal_number == SIGQUIT) event = "control-BREAK";
  if (signal_number == SIGHUP) event = "window-CLOSE";
  if (signal_number == SIGTERM) event = "process-TERMINATE";
  diagnostic_ = diagnostic_line("error", 200, "program aborting due to " + std::string(event) + " event");
}

Failure creation_failure_for(int os_error) {
  if (os_error == EACCES || os_error == EPERM) return Failure::permission_denied;
  return Failure::open_failure;
}

}  // namespace records
