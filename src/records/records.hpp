// Fixed-column record I/O: the fields of a record, free-form console answers,
// the connections (console, input files, output files), the pause and the
// failures that end a run.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <map>
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
  corrupt_compressed_data = 39,
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
// noted by a handler and turned into a ControlEvent at the next check or at
// once in any wait, so that buffered output is flushed and temporaries are
// removed on the way out like on every other exit.
void install_control_event_handlers();
void throw_if_control_event();

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file opened later takes a standard descriptor's number (and a
// diagnostic meant for standard error never lands in an export).
void open_missing_standard_descriptors();

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
  FieldReader& skip(int w) {
    column_ += static_cast<std::size_t>(w);
    return *this;
  }

 private:
  void read_characters(int w, std::span<char> into);
  std::string_view record_;
  std::size_t column_ = 0;
};

// `I`w and `F`w.d conversions of a field's text; nullopt is an input
// conversion error. Blanks anywhere are ignored, and a blank field is zero.
std::optional<std::int32_t> read_I(std::string_view field);
std::optional<float> read_F(std::string_view field, int d);
// Whether `read_F` would convert the field, found without converting it.
bool reads_as_F(std::string_view field);

// ---------------------------------------------------------------------------
// Field output: each appends exactly w characters, asterisks when the value
// does not fit.

void put_I(std::string& out, std::int32_t value, int w);
// Rounds the exact binary value half away from zero. Widths up to 20.
void put_F(std::string& out, float value, int w, int d);
void put_A(std::string& out, std::string_view value, int w);

// A count (of records, atoms, files) as the 32-bit integer that its field
// writes. Past the largest one, every field the tool has shows asterisks.
constexpr std::int32_t as_count(std::size_t count) {
  constexpr auto largest = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(count < largest ? count : largest);
}

// ---------------------------------------------------------------------------
// File descriptors and memory

// Owns one open file descriptor and closes it when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() noexcept;
  void reset() noexcept;

 private:
  int fd_ = -1;
};

// Memory for whole files, kept from one file to the next. Anonymous pages
// aligned for transparent huge pages: a 16 MB entry read into fresh heap
// memory cost 4,000 page faults, most of the run's time.
class PageBuffer {
 public:
  PageBuffer() = default;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer();

  // Room for at least `size` bytes, the first `keep` of them kept. Throws
  // std::bad_alloc when the memory cannot be obtained.
  char* reserve(std::size_t size, std::size_t keep = 0);
  char* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }

 private:
  void release() noexcept;
  char* mapping_ = nullptr;  // what was mapped, `data_` aligned within it
  std::size_t mapped_ = 0;
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
};

// A regular file mapped into memory, read only. Pages that another process
// cuts off the file while it is mapped would stop the run with SIGBUS; a
// handler maps zero pages there instead, and `intact_size()` then ends the
// content where the cut began.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { release(); }

  // Maps the first `size` bytes of `fd`; false when the system will not,
  // and the file is to be read instead.
  bool map(int fd, std::size_t size);
  void release() noexcept;
  std::string_view content() const { return {data_, size_}; }
  std::size_t intact_size() const { return intact_ == nullptr ? 0 : intact_->load(std::memory_order_relaxed); }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  int slot_ = -1;  // in the table the SIGBUS handler looks at
  const std::atomic<std::size_t>* intact_ = nullptr;  // that slot's count of bytes not cut off
};

// A file's content as loaded so far, or why there is none.
struct LoadedFile {
  std::string_view content;
  int os_error = 0;  // when not 0, why there is no content (ENOENT: no such file)
};

// Where a file source puts a file it loads. A large file is mapped; a small
// one is read into memory kept from one file to the next, a piece at a time
// as the reads get there (backbone mode needs a third of an average entry).
class FileMemory {
 public:
  PageBuffer buffer;
  MappedFile mapped;

  // Reads the first piece of `file`, `size` bytes long when opened, into
  // the buffer; the rest waits for `read_more`.
  LoadedFile start_reading(FileDescriptor file, std::size_t size);
  bool more_to_read() const { return static_cast<bool>(file_); }
  // The next piece: the content so far, longer, or the same at the end.
  LoadedFile read_more();
  void stop_reading() { file_.reset(); }

 private:
  FileDescriptor file_;
  std::size_t size_ = 0;    // the file's size when opened: never more is read
  std::size_t loaded_ = 0;  // bytes read so far
};

// ---------------------------------------------------------------------------
// Output connections

class Record;

// A formatted sequential output connection: the console or a file opened
// with status "REPLACE". Records are collected in a buffer and written out
// whole, so a flush never tears a record. A replaced file is written to a
// temporary beside it and takes the file's name only when closed, so the
// name always holds the previous complete file or the new complete one.
class Output {
 public:
  // The console: standard output, shown record by record on a terminal and
  // buffered otherwise.
  static Output console();
  // Standard error, for diagnostics.
  static Output errors();
  // A new file that replaces `path` when closed.
  static Output replace(int unit, std::string_view path);
  // Keeps every record in memory (`captured()`); for tests.
  static Output capture(int unit = console_out_unit, std::string_view file = console_out_file);

  Output(Output&& other) noexcept;
  Output& operator=(Output&&) = delete;
  Output(const Output&) = delete;
  // The console is flushed as far as it can be; a replaced file that was
  // not closed is dropped, leaving the previous file as it was.
  ~Output();

  Record record();
  // A free-form write: a blank, then each value as it stands.
  void free_form(std::string_view value = {});
  void flush();
  // Close with status "KEEP": a replaced file now takes its name. Later
  // writes are an error of the caller.
  void close();
  // Flush for exit paths that are already failing: never throws, and gives
  // up on a console that takes nothing for a moment.
  void flush_quietly() noexcept;
  // One last record on such a path, written the same way.
  void write_quietly(std::string_view record) noexcept;

  int unit() const { return unit_; }
  const std::string& file() const { return file_; }
  const std::string& captured() const { return buffer_; }

 private:
  friend class Record;
  Output(int unit, std::string_view file, int fd, bool flush_every_record);
  void end_record();
  void write_out(bool on_the_way_out);
  void drop_torn_record(std::size_t sent);

  int unit_;
  std::string file_;
  int fd_;                      // the console's, or `owned_`'s
  FileDescriptor owned_;        // a replaced file's temporary
  std::string temporary_;       // its name until it is closed
  bool pieces_ = false;         // a pipe or terminal: written in pieces it takes without waiting
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
// Input files

// Where input files come from: the file system, or names and contents held
// in memory for tests and fuzzing.
class FileSource {
 public:
  using Loaded = LoadedFile;

  virtual ~FileSource() = default;
  // The content of the regular file `path`, up to the size it had when
  // opened: whole, or its beginning when `memory` goes on reading it. It
  // stays valid until the next load into `memory`.
  virtual Loaded load(const std::string& path, FileMemory& memory) = 0;
};

FileSource& file_system();

class FilesInMemory final : public FileSource {
 public:
  void add(std::string path, std::string content);
  Loaded load(const std::string& path, FileMemory& memory) override;

 private:
  std::map<std::string, std::string, std::less<>> files_;
};

// True when `content` begins like gzip data.
bool is_compressed(std::string_view content);
// The unpacked text of gzip data, all its members in turn, in `into`;
// nullopt when the data is corrupt, truncated or followed by anything else.
std::optional<std::string_view> unpack(std::string_view compressed, PageBuffer& into);

// A formatted sequential input connection opened with status "OLD". The file
// is read whole once; rewind resets a cursor and records are views into that
// memory, valid until the next open.
class Input {
 public:
  explicit Input(int unit, FileSource& files = file_system()) : unit_(unit), files_(&files) {}

  // The file must exist and be a regular file (or a link to one).
  void open_old(std::string_view path);
  // A PDB entry: as `open_old`, but gzip data is read unpacked, and
  // `path`.gz stands in for a missing `path`. Failures name the file read.
  void open_entry(std::string_view path);
  void rewind() { cursor_ = 0; }
  void close();

  // A read with status: nullopt at the end of the file. Inline: the scans
  // call it once per record of every entry.
  std::optional<std::string_view> read() {
    if (mapped_ == nullptr && cursor_ < content_.size()) {
      const char* start = content_.data() + cursor_;
      const void* newline = std::memchr(start, '\n', content_.size() - cursor_);
      if (newline != nullptr || !loaded_.more_to_read()) return take_record(start, newline);
    }
    return read_further();
  }
  // A read without status: the end of the file is fatal.
  std::string_view read_or_fail() {
    const auto record = read();
    if (!record) fail_at_end();
    return *record;
  }
  // Moves on to the next record that begins with `key` (of at least one
  // character); the records in between are passed over unread.
  void skip_to(std::string_view key);

  [[noreturn]] void fail(Failure failure, int os_error = 0) const;
  int unit() const { return unit_; }
  const std::string& file() const { return file_; }

 private:
  // Closes what was open and loads `path`, which is now the file's name.
  FileSource::Loaded load_afresh(std::string_view path);
  // The content loaded, or the failure to load it.
  std::string_view take(const FileSource::Loaded& loaded);
  // The record from `start` to the line feed at `newline` (or to the end),
  // without its line end; the cursor moves past it.
  std::string_view take_record(const char* start, const void* newline) {
    if (newline == nullptr) {
      cursor_ = content_.size();
      return {start, static_cast<std::size_t>(content_.data() + content_.size() - start)};
    }
    const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
    cursor_ += length + 1;
    const bool carriage_return = length > 0 && start[length - 1] == '\r';
    return {start, carriage_return ? length - 1 : length};
  }
  // A read at the end of what is loaded, or of a mapped file.
  std::optional<std::string_view> read_further();
  std::optional<std::string_view> read_from_mapping();
  // The next piece of a file still being read; false at its end.
  bool load_more();
  bool end_at_cut();
  [[noreturn]] void fail_at_end() const;

  int unit_;
  FileSource* files_;
  std::string file_;
  FileMemory loaded_;    // the file as stored
  PageBuffer unpacked_;  // a compressed entry's text
  std::string_view content_;
  const MappedFile* mapped_ = nullptr;  // when the content is a mapped file's
  std::size_t cursor_ = 0;
};

// ---------------------------------------------------------------------------
// Console input

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

// Runs a command line through the operating system's command processor and
// waits for it. Returns 0, or the system's error number when the command
// could not be started at all.
using CommandRunner = std::function<int(const std::string& command)>;
int run_shell_command(const std::string& command);

// Shows the pause prompt and waits for an empty line; any other line is run
// as a command, then the prompt is shown again.
void pause(Output& console, LineSource& console_in, const CommandRunner& run = run_shell_command);
// The pause of a run that must not wait: the prompt, then on at once, as if
// an empty line had been typed.
void pause_without_waiting(Output& console);

}  // namespace records
