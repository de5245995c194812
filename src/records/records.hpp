// Fixed-column record I/O: the fields of a record, free-form console answers,
// the connections (console, input files, output files), the pause and the
// failures that end a run.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace records {

// ---------------------------------------------------------------------------
// Failures

// The numbers are part of the diagnostic line that scripts read; keep them.
enum class Failure : int {
  permission_denied = 9,
  end_of_file = 24,
  file_not_found = 29,
  open_failure = 30,
  write_error = 38,
  out_of_memory = 41,
  list_directed_syntax = 59,
  input_conversion = 64,
};

// Console connections are reported under these numbers and names.
inline constexpr int console_in_unit = 5;
inline constexpr int console_out_unit = 6;
inline constexpr std::string_view console_in_file = "stdin";
inline constexpr std::string_view console_out_file = "stdout";

// An I/O failure that ends the run. `what()` is the whole diagnostic line,
// e.g. "extract: severe (29): file not found, unit 1, file PDB/1abc.pdb".
class IoError : public std::exception {
 public:
  IoError(Failure failure, int unit, std::string_view file, int os_error = 0);
  explicit IoError(Failure failure);  // no connection involved (memory)

  Failure failure() const noexcept { return failure_; }
  int number() const noexcept { return static_cast<int>(failure_); }
  int unit() const noexcept { return unit_; }
  const std::string& file() const noexcept { return file_; }
  int os_error() const noexcept { return os_error_; }
  std::string message() const;  // the text after "(number): "
  const char* what() const noexcept override { return diagnostic_.c_str(); }

 private:
  Failure failure_;
  int unit_ = 0;
  std::string file_;
  int os_error_ = 0;
  std::string diagnostic_;
};

// A console control event (control-C, control-BREAK, window-CLOSE) that ends
// the run. `what()` is the diagnostic line.
class ControlEvent : public std::exception {
 public:
  explicit ControlEvent(int signal_number);
  int signal_number() const noexcept { return signal_; }
  const char* what() const noexcept override { return diagnostic_.c_str(); }

 private:
  int signal_;
  std::string diagnostic_;
};

// Control-C (SIGINT), control-BREAK (SIGQUIT) and window-CLOSE (SIGHUP) are
// noted by a handler and turned into a ControlEvent at the next check, so
// that buffered output is flushed on the way out like on every other exit.
void install_control_event_handlers();
void throw_if_control_event();

// ---------------------------------------------------------------------------
// Fixed-length character variables

// A character variable of exactly N characters, blank-padded: what every
// name, key and column slice of this tool is.
template <std::size_t N>
class Chars {
 public:
  constexpr Chars() { chars_.fill(' '); }
  // Assignment rule: the leftmost N characters, padded with blanks.
  constexpr explicit Chars(std::string_view text) : Chars() {
    for (std::size_t i = 0; i < N && i < text.size(); ++i) chars_[i] = text[i];
  }

  static constexpr std::size_t size() { return N; }
  constexpr std::string_view view() const { return {chars_.data(), N}; }
  // The text without its trailing blanks, which are not part of a file name.
  constexpr std::string_view trimmed() const {
    std::string_view v = view();
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
  }
  constexpr std::span<char, N> span() { return chars_; }
  constexpr char& operator[](std::size_t i) { return chars_[i]; }
  constexpr char operator[](std::size_t i) const { return chars_[i]; }

  // Exact comparison: length, case and blanks all count.
  constexpr bool operator==(std::string_view key) const { return view() == key; }
  constexpr bool operator==(const Chars&) const = default;

 private:
  std::array<char, N> chars_{};
};

// ---------------------------------------------------------------------------
// Field input

// Reads the fields of one record left to right. Columns beyond the end of a
// shorter record read as blanks.
class FieldReader {
 public:
  explicit FieldReader(std::string_view record) : record_(record) {}

  // `A`w into a variable of length L: the rightmost L of the w columns when
  // w >= L, otherwise the w columns followed by blanks.
  template <std::size_t L>
  FieldReader& A(int w, Chars<L>& into) {
    const auto width = static_cast<std::size_t>(w);
    if (width >= L && column_ + width <= record_.size()) {
      // The common case, kept inline: a field wholly inside the record.
      std::copy_n(record_.data() + column_ + (width - L), L, into.span().data());
      column_ += width;
    } else {
      read_characters(w, into.span());
    }
    return *this;
  }
  // A field of the layout that is read and thrown away.
  FieldReader& skip(int w);

 private:
  void read_characters(int w, std::span<char> into);
  std::string_view record_;
  std::size_t column_ = 0;
};

// `I`w and `F`w.d conversions of a field's text; nullopt is an input
// conversion error. Blanks anywhere are ignored, and a blank field is zero.
std::optional<std::int32_t> read_I(std::string_view field);
std::optional<float> read_F(std::string_view field, int d);

// ---------------------------------------------------------------------------
// Field output: each appends exactly w characters, asterisks when the value
// does not fit.

void put_I(std::string& out, std::int32_t value, int w);
// Rounds the exact binary value half away from zero. Widths up to 20.
void put_F(std::string& out, float value, int w, int d);
void put_A(std::string& out, std::string_view value, int w);

// ---------------------------------------------------------------------------
// Output connections

class Record;

// A formatted sequential output connection: the console or a file opened
// with status "REPLACE". Records are collected in a buffer and written out
// whole, so a flush never tears a record.
class Output {
 public:
  // The console: standard output, shown record by record on a terminal and
  // buffered otherwise.
  static Output console();
  // Creates `path`, first deleting any file of that name.
  static Output replace(int unit, std::string_view path);
  // Keeps every record in memory (`captured()`); for tests.
  static Output capture(int unit = console_out_unit, std::string_view file = console_out_file);

  Output(Output&& other) noexcept;
  Output& operator=(Output&&) = delete;
  Output(const Output&) = delete;
  ~Output();  // closes, keeping what was written

  Record record();
  // A free-form write: a blank, then each value as it stands.
  void free_form(std::string_view value = {});
  void flush();
  // Close with status "KEEP". Later writes are an error of the caller.
  void close();
  // Best-effort flush for exit paths that are already failing.
  void flush_quietly() noexcept;

  int unit() const { return unit_; }
  const std::string& file() const { return file_; }
  const std::string& captured() const { return buffer_; }

 private:
  friend class Record;
  Output(int unit, std::string_view file, int fd, bool flush_every_record);
  void end_record();
  void write_out();
  void drop_torn_record(std::size_t sent);

  int unit_;
  std::string file_;
  int fd_;
  bool flush_every_record_;
  std::string buffer_;
  std::int64_t written_ = 0;  // bytes in the file, always whole records
  bool failed_ = false;       // after a write error nothing more is written
};

// One record being written: fields left to right, then `end()` for the line
// end CR LF, or `hold()` for a prompt that keeps the line open.
class Record {
 public:
  explicit Record(Output& out) : out_(out) {}
  Record& text(std::string_view literal) {
    out_.buffer_.append(literal);
    return *this;
  }
  Record& A(std::string_view value, int w) {
    put_A(out_.buffer_, value, w);
    return *this;
  }
  Record& A(char value, int w) { return A(std::string_view(&value, 1), w); }
  Record& I(std::int32_t value, int w) {
    put_I(out_.buffer_, value, w);
    return *this;
  }
  Record& F(float value, int w, int d) {
    put_F(out_.buffer_, value, w, d);
    return *this;
  }
  void end();
  void hold();

 private:
  Output& out_;
};

// ---------------------------------------------------------------------------
// Input connections

// A formatted sequential input connection opened with status "OLD". The file
// is read into memory once; rewind resets a cursor and records are views
// into that memory, valid until the next open.
class Input {
 public:
  explicit Input(int unit) : unit_(unit) {}

  void open_old(std::string_view path);
  // Takes `text` as the file's content; for tests and fuzzing.
  void open_text(std::string_view name, std::string_view text);
  void rewind() { cursor_ = 0; }
  void close();

  // A read with status: nullopt at the end of the file.
  std::optional<std::string_view> read();
  // A read without status: the end of the file is fatal.
  std::string_view read_or_fail();

  [[noreturn]] void fail(Failure failure, int os_error = 0) const;
  int unit() const { return unit_; }
  const std::string& file() const { return file_; }

 private:
  int unit_;
  std::string file_;
  // Grows when the file needs it; its bytes are overwritten, never cleared.
  void make_room(std::size_t capacity);

  std::unique_ptr<char[]> data_;  // reused from one file to the next
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t cursor_ = 0;
};

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
// prompt is visible before its answer is awaited.
class ConsoleInput final : public LineSource {
 public:
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
  bool at_end_ = false;
};

// Lines taken from a string; for tests.
class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  std::optional<std::string_view> next_line() override;
  int unit() const override { return console_in_unit; }
  std::string_view file() const override { return console_in_file; }

 private:
  std::string_view text_;
};

// ---------------------------------------------------------------------------
// Free-form reading: one value, leading blanks and empty lines skipped, the
// rest of the line ignored. A "/" or a null value (a leading comma) leaves
// the variable unchanged. The end of input is fatal.

void read_free(LineSource& in, std::int32_t& value);
void read_free(LineSource& in, std::span<char> value);
template <std::size_t N>
void read_free(LineSource& in, Chars<N>& value) {
  read_free(in, std::span<char>(value.span()));
}

// ---------------------------------------------------------------------------
// Pause

// Runs a command line through the operating system's command processor.
using CommandRunner = void (*)(const std::string& command);
void run_shell_command(const std::string& command);

// Shows the pause prompt and waits for an empty line; any other line is run
// as a command, then the prompt is shown again.
void pause(Output& console, LineSource& console_in, CommandRunner run = run_shell_command);

}  // namespace records
