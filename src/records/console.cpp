// The console's lines, and its standard descriptors.

#include "records/console.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "records/output.hpp"
#include "records/system_calls.hpp"
#include "waits.hpp"

namespace records {

void open_missing_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    struct stat info {};
    if (system_calls.fstat(fd, &info) == 0 || errno != EBADF) continue;
    // The lowest free number is this one, since the ones below are open;
    // any other is not kept.
    const int opened = system_calls.open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    if (opened != fd && opened >= 0) system_calls.close(opened);
  }
}

std::optional<std::string_view> ConsoleInput::next_line() {
  console_.flush();
  buffer_.erase(0, line_start_);
  line_start_ = 0;
  std::size_t searched = 0;
  for (;;) {
    const std::size_t newline = buffer_.find('\n', searched);
    if (newline != std::string::npos) {
      line_start_ = newline + 1;
      // The record ends at the line feed, and a CR directly before it goes too.
      const std::size_t end = newline > 0 && buffer_[newline - 1] == '\r' ? newline - 1 : newline;
      return std::string_view(buffer_).substr(0, end);
    }
    if (buffer_.size() > longest_line) {
      buffer_.resize(longest_line);
      dropping_ = true;
    }
    searched = buffer_.size();
    if (!fill()) break;
  }
  dropping_ = false;
  if (buffer_.empty()) return std::nullopt;
  line_start_ = buffer_.size();
  return std::string_view(buffer_);
}

bool ConsoleInput::fill() {
  if (at_end_) return false;
  std::array<char, 64 * 1024> chunk{};
  for (;;) {
    wait_until_ready(fd_, POLLIN);
    const ssize_t n = system_calls.read(fd_, chunk.data(), chunk.size());
    if (n > 0) {
      std::string_view taken(chunk.data(), static_cast<std::size_t>(n));
      if (dropping_) {
        // The rest of an overlong line goes, up to its line end.
        const std::size_t newline = taken.find('\n');
        if (newline == std::string_view::npos) return true;
        taken.remove_prefix(newline);
        dropping_ = false;
      }
      buffer_.append(taken);
      return true;
    }
    // Another signal, or a console someone made non-blocking: wait again.
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // The end of input, or a console that can no longer be read.
    at_end_ = true;
    return false;
  }
}

}  // namespace records
