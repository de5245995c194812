// The console: its connection numbers, the standard descriptors, and the
// lines that answers and pause commands are read from.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace records {

class Output;

// Console connections are reported under these numbers and names.
inline constexpr int console_in_unit = 5;
inline constexpr int console_out_unit = 6;
inline constexpr std::string_view console_in_file = "stdin";
inline constexpr std::string_view console_out_file = "stdout";

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file opened later takes a standard descriptor's number (and a
// diagnostic meant for standard error never lands in an export).
void open_missing_standard_descriptors();

// Where free-form answers and pause lines come from.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line without its line end; nullopt at the end of input. The
  // view is valid until the next call.
  virtual std::optional<std::string_view> next_line() = 0;
  virtual int unit() const = 0;
  virtual std::string_view file() const = 0;
};

// Standard input. Every read first flushes the console output, so that each
// prompt is visible before its answer is awaited. A line keeps at most its
// first `longest_line` bytes; the rest of it is read and dropped, since an
// answer needs only its first value.
class ConsoleInput final : public LineSource {
 public:
  static constexpr std::size_t longest_line = std::size_t{1} << 20;

  explicit ConsoleInput(Output& console, int fd = 0) : console_(console), fd_(fd) {}
  std::optional<std::string_view> next_line() override;
  int unit() const override { return console_in_unit; }
  std::string_view file() const override { return console_in_file; }

 private:
  bool fill();
  Output& console_;
  int fd_;
  std::string buffer_;
  std::size_t line_start_ = 0;
  bool dropping_ = false;  // the current line is too long: its rest goes
  bool at_end_ = false;
};

}  // namespace records
