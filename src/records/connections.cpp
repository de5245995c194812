// Connections: output through a record buffer, input files read into memory
// once, and the console's lines.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "records.hpp"

namespace records {
namespace {

constexpr std::string_view line_end = "\r\n";
// Files and a redirected console are written in pieces of about this size.
constexpr std::size_t flush_threshold = 64 * 1024;

Failure open_failure_for(int os_error) {
  if (os_error == ENOENT) return Failure::file_not_found;
  if (os_error == EACCES || os_error == EPERM) return Failure::permission_denied;
  return Failure::open_failure;
}

// The record without its line end: LF, and a CR directly before it.
std::string_view without_line_end(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

// ---------------------------------------------------------------------------
// Output

Output::Output(int unit, std::string_view file, int fd, bool flush_every_record)
    : unit_(unit), file_(file), fd_(fd), flush_every_record_(flush_every_record) {}

Output::Output(Output&& other) noexcept
    : unit_(other.unit_),
      file_(std::move(other.file_)),
      fd_(std::exchange(other.fd_, -1)),
      flush_every_record_(other.flush_every_record_),
      buffer_(std::move(other.buffer_)),
      written_(other.written_),
      failed_(other.failed_) {}

Output Output::console() {
  return Output(console_out_unit, console_out_file, STDOUT_FILENO, isatty(STDOUT_FILENO) == 1);
}

Output Output::capture(int unit, std::string_view file) {
  return Output(unit, file, -1, false);
}

Output Output::replace(int unit, std::string_view path) {
  const std::string name(path);
  // "REPLACE" deletes the old file first, so a link of that name is replaced
  // rather than written through.
  if (::unlink(name.c_str()) != 0 && errno != ENOENT && errno != EISDIR && errno != EPERM) {
    throw IoError(open_failure_for(errno), unit, path, errno);
  }
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int os_error = errno;
    // A missing directory is not a missing file: the file is being created.
    throw IoError(os_error == ENOENT ? Failure::open_failure : open_failure_for(os_error), unit, path, os_error);
  }
  return Output(unit, path, fd, false);
}

Output::~Output() {
  flush_quietly();
  if (fd_ > STDERR_FILENO) ::close(fd_);
}

Record Output::record() {
  return Record(*this);
}

void Output::free_form(std::string_view value) {
  buffer_.push_back(' ');
  buffer_.append(value);
  end_record();
}

void Output::end_record() {
  buffer_.append(line_end);
  if (fd_ < 0) return;
  // A long entry or a long list must not keep a control event waiting until
  // the next console read; a record's end is a safe place to stop.
  throw_if_control_event();
  if (flush_every_record_ || buffer_.size() >= flush_threshold) flush();
}

void Output::flush() {
  if (fd_ < 0 || failed_ || buffer_.empty()) return;
  write_out();
}

void Output::flush_quietly() noexcept {
  try {
    flush();
  } catch (...) {
    // Already on a failing exit path: the first failure is the one reported.
  }
}

void Output::close() {
  flush();
  if (fd_ > STDERR_FILENO) ::close(fd_);
  fd_ = -1;
}

void Output::write_out() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      // What was sent is gone from the buffer before the run is ended, so
      // the last flush on the way out does not send it twice.
      written_ += static_cast<std::int64_t>(done);
      buffer_.erase(0, done);
      done = 0;
      throw_if_control_event();
      continue;
    }
    const int os_error = n < 0 ? errno : ENOSPC;
    drop_torn_record(done);
    throw IoError(Failure::write_error, unit_, file_, os_error);
  }
  written_ += static_cast<std::int64_t>(done);
  buffer_.clear();
}

void Output::drop_torn_record(std::size_t done) {
  failed_ = true;
  // Cut a regular file back to the end of its last whole record, so that a
  // full disk never leaves half a record for the programs that read it.
  const std::string_view sent(buffer_.data(), done);
  const std::size_t last_end = sent.rfind('\n');
  const std::size_t whole = last_end == std::string_view::npos ? 0 : last_end + 1;
  struct stat info {};
  if (whole != done && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    if (::ftruncate(fd_, static_cast<off_t>(written_) + static_cast<off_t>(whole)) != 0) {
      // Nothing more can be done for a file that refuses even to shrink.
    }
  }
  buffer_.clear();
}

void Record::end() {
  out_.end_record();
}

void Record::hold() {
  if (out_.flush_every_record_) out_.flush();
}

// ---------------------------------------------------------------------------
// Input

void Input::make_room(std::size_t capacity) {
  if (capacity <= capacity_) return;
  auto larger = std::make_unique_for_overwrite<char[]>(capacity);
  std::copy_n(data_.get(), size_, larger.get());
  data_ = std::move(larger);
  capacity_ = capacity;
}

void Input::open_old(std::string_view path) {
  throw_if_control_event();
  file_.assign(path);
  size_ = 0;
  cursor_ = 0;
  const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(open_failure_for(errno), errno);

  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int os_error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    fail(Failure::open_failure, os_error);
  }
  // One byte more than the file's size, so that its end shows on the first
  // read that comes back empty; files of unknown size grow by doubling.
  std::size_t wanted = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : 64 * 1024;
  for (;;) {
    if (size_ == capacity_) wanted = std::max(wanted, 2 * capacity_);
    try {
      make_room(wanted);
    } catch (...) {
      ::close(fd);
      throw;
    }
    const ssize_t n = ::read(fd, data_.get() + size_, capacity_ - size_);
    if (n > 0) {
      size_ += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int os_error = errno;
      ::close(fd);
      size_ = 0;
      fail(Failure::open_failure, os_error);
    }
  }
  ::close(fd);
}

void Input::open_text(std::string_view name, std::string_view text) {
  file_.assign(name);
  size_ = 0;
  cursor_ = 0;
  make_room(text.size());
  std::copy(text.begin(), text.end(), data_.get());
  size_ = text.size();
}

void Input::close() {
  size_ = 0;
  cursor_ = 0;
}

std::optional<std::string_view> Input::read() {
  if (cursor_ >= size_) return std::nullopt;
  const char* start = data_.get() + cursor_;
  const std::size_t left = size_ - cursor_;
  const void* newline = std::memchr(start, '\n', left);
  if (newline == nullptr) {
    cursor_ = size_;
    return std::string_view(start, left);
  }
  const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
  cursor_ += length + 1;
  return without_line_end(std::string_view(start, length));
}

std::string_view Input::read_or_fail() {
  const auto record = read();
  if (!record) fail(Failure::end_of_file);
  return *record;
}

void Input::fail(Failure failure, int os_error) const {
  throw IoError(failure, unit_, file_, os_error);
}

// ---------------------------------------------------------------------------
// Console lines

std::optional<std::string_view> ConsoleInput::next_line() {
  console_.flush();
  buffer_.erase(0, line_start_);
  line_start_ = 0;
  std::size_t searched = 0;
  for (;;) {
    const std::size_t newline = buffer_.find('\n', searched);
    if (newline != std::string::npos) {
      line_start_ = newline + 1;
      return without_line_end(std::string_view(buffer_).substr(0, newline));
    }
    searched = buffer_.size();
    if (!fill()) break;
  }
  if (buffer_.empty()) return std::nullopt;
  line_start_ = buffer_.size();
  return std::string_view(buffer_);
}

bool ConsoleInput::fill() {
  if (at_end_) return false;
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
    if (n > 0) {
      buffer_.append(chunk.data(), static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) {
      throw_if_control_event();
      continue;
    }
    // The end of input, or a console that can no longer be read.
    at_end_ = true;
    return false;
  }
}

std::optional<std::string_view> TextLines::next_line() {
  if (text_.empty()) return std::nullopt;
  const std::size_t newline = text_.find('\n');
  if (newline == std::string_view::npos) return std::exchange(text_, {});
  const std::string_view line = text_.substr(0, newline);
  text_.remove_prefix(newline + 1);
  return without_line_end(line);
}

}  // namespace records
