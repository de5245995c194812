// The failures that end a run: I/O failures and console control events,
// each carrying everything its one diagnostic line tells.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace records {

// The numbers are part of the diagnostic line that scripts read; keep them.
enum class Failure : int {
  permission_denied = 9,
  end_of_file = 24,
  file_not_found = 29,
  open_failure = 30,
  write_error = 38,
  corrupt_compressed_data = 39,
  out_of_memory = 41,
  too_large = 43,
  file_changed = 44,
  list_directed_syntax = 59,
  input_conversion = 64,
  chain_name_too_long = 70,
  malformed_mmcif = 71,
};

// The failure that an error number of a file's creation or opening gives:
// permission denied for EACCES and EPERM, else open failure.
Failure creation_failure_for(int os_error);

// An I/O failure that ends the run. `what()` is the whole diagnostic line,
// e.g. "extract: severe (29): file not found, unit 1, file PDB/1abc.pdb".
class IoError : public std::exception {
 public:
  IoError(Failure failure, int unit, std::string_view file);
  // With what the failure's text alone cannot say, told after it: where in
  // the file, and why ("line 12: a quoted value not closed on its line").
  IoError(Failure failure, int unit, std::string_view file, std::string_view detail);
  explicit IoError(Failure failure);  // no connection involved (memory)
  // An open failure because of the name itself: it would lead out of the
  // directory it is meant for (a link or ".." inside it) or holds a NUL byte.
  static IoError refused_name(int unit, std::string_view file);
  // A failure to reach the directories that a name holds beneath the
  // directory it is meant for (one missing, or not a directory): like a
  // refused name, it comes of the name, not of the directory.
  static IoError on_the_names_way(Failure failure, int unit, std::string_view file);

  Failure failure() const noexcept { return failure_; }
  int number() const noexcept { return static_cast<int>(failure_); }
  int unit() const noexcept { return unit_; }
  const std::string& file() const noexcept { return file_; }
  bool name_refused() const noexcept { return name_refused_; }
  // Refused, or failed on the way the name leads.
  bool of_the_name() const noexcept { return of_the_name_; }
  std::string message() const;  // the text after "(number): "
  // The whole line; unlike `what()`, it goes on past a NUL byte in a name.
  const std::string& line() const noexcept { return diagnostic_; }
  const char* what() const noexcept override { return diagnostic_.c_str(); }

 private:
  Failure failure_;
  int unit_ = 0;
  std::string file_;
  bool name_refused_ = false;
  bool of_the_name_ = false;
  std::string detail_;
  std::string diagnostic_;
};

// A console control event (control-C, control-BREAK, window-CLOSE, or the
// request to end, SIGTERM) that ends the run. `what()` is the diagnostic line.
class ControlEvent : public std::exception {
 public:
  explicit ControlEvent(int signal_number);
  int signal_number() const noexcept { return signal_; }
  const char* what() const noexcept override { return diagnostic_.c_str(); }

 private:
  int signal_;
  std::string diagnostic_;
};

}  // namespace records
