// Input connections: whole files from a source, records handed out as views;
// and the console's lines.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "records.hpp"
#include "waits.hpp"

namespace records {
namespace {

// A file is read in pieces, the first of this size and each next one twice
// the one before, with a look for control events between them.
constexpr std::size_t first_piece = std::size_t{64} << 10;
// Files from this size on are mapped: a 16 MB entry read into fresh memory
// spent two thirds of the run in the kernel clearing and faulting pages in.
// Smaller ones are read into memory that is already there from the file
// before, which measured faster than mapping below 1 to 2 MiB.
constexpr std::size_t smallest_mapped = std::size_t{2} << 20;

Failure open_failure_for(int os_error) {
  if (os_error == ENOENT) return Failure::file_not_found;
  if (os_error == EACCES || os_error == EPERM) return Failure::permission_denied;
  return Failure::open_failure;
}

// The record without its line end: LF, and a CR directly before it.
std::string_view without_line_end(std::string_view line) {
  return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

class FileSystem final : public FileSource {
 public:
  Loaded load(const std::string& path, FileMemory& memory) override {
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // only regular files are read, so nothing blocks afterwards either.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) return {{}, errno};
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return {{}, errno};
    if (S_ISDIR(info.st_mode)) return {{}, EISDIR};
    if (!S_ISREG(info.st_mode)) return {{}, EINVAL};

    // The size it has now: a file that grows while it is read is read only
    // so far, and one cut short ends where it was cut.
    const auto size = static_cast<std::size_t>(info.st_size);
    memory.mapped.release();
    if (size >= smallest_mapped && memory.mapped.map(file.get(), size)) return {memory.mapped.content(), 0};
    return memory.start_reading(std::move(file), size);
  }
};

}  // namespace

LoadedFile FileMemory::start_reading(FileDescriptor file, std::size_t size) {
  file_ = std::move(file);
  size_ = size;
  loaded_ = 0;
  // All of it reserved now, so that what was handed out stays where it is;
  // pages are only taken as they are read into.
  buffer.reserve(size);
  return read_more();
}

LoadedFile FileMemory::read_more() {
  if (file_) {
    throw_if_control_event();
    const std::size_t piece = std::min(std::max(first_piece, loaded_), size_ - loaded_);
    ssize_t n = 0;
    do {
      n = ::read(file_.get(), buffer.data() + loaded_, piece);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      const int os_error = errno;
      stop_reading();
      return {{}, os_error};
    }
    loaded_ += static_cast<std::size_t>(n);
    if (n == 0 || loaded_ == size_) stop_reading();
  }
  return {{buffer.data(), loaded_}, 0};
}

FileSource& file_system() {
  static FileSystem files;
  return files;
}

void FilesInMemory::add(std::string path, std::string content) {
  files_.insert_or_assign(std::move(path), std::move(content));
}

FileSource::Loaded FilesInMemory::load(const std::string& path, FileMemory&) {
  const auto found = files_.find(path);
  if (found == files_.end()) return {{}, ENOENT};
  return {found->second, 0};
}


FileSource::Loaded Input::load_afresh(std::string_view path) {
  close();
  file_.assign(path);
  throw_if_control_event();
  return files_->load(file_, loaded_);
}

void Input::open_old(std::string_view path) {
  content_ = take(load_afresh(path));
}

void Input::open_entry(std::string_view path) {
  FileSource::Loaded loaded = load_afresh(path);
  if (loaded.os_error == ENOENT) {
    // The archive hands out entries compressed; one that was not unpacked
    // is read as it is. Neither being there, the entry is what is missing.
    file_.append(".gz");
    const FileSource::Loaded compressed = files_->load(file_, loaded_);
    if (compressed.os_error == ENOENT) {
      file_.assign(path);
    } else {
      loaded = compressed;
    }
  }
  content_ = take(loaded);
  if (is_compressed(content_)) {
    // Unpacked whole, so read whole first.
    while (load_more()) {
    }
    const auto text = unpack(content_, unpacked_);
    if (!text) fail(Failure::corrupt_compressed_data);
    content_ = *text;
    mapped_ = nullptr;
  }
}

std::string_view Input::take(const FileSource::Loaded& loaded) {
  if (loaded.os_error != 0) fail(open_failure_for(loaded.os_error), loaded.os_error);
  const bool mapped = loaded.content.data() != nullptr && loaded.content.data() == loaded_.mapped.content().data();
  mapped_ = mapped ? &loaded_.mapped : nullptr;
  return loaded.content;
}

void Input::close() {
  loaded_.stop_reading();
  content_ = {};
  mapped_ = nullptr;
  cursor_ = 0;
}

std::optional<std::string_view> Input::read_further() {
  if (mapped_ != nullptr) return read_from_mapping();
  // The record goes on past what is loaded (all of which `read` searched):
  // load on until its line end.
  std::size_t searched = content_.size();
  while (load_more()) {
    const void* newline = std::memchr(content_.data() + searched, '\n', content_.size() - searched);
    if (newline != nullptr) return take_record(content_.data() + cursor_, newline);
    searched = content_.size();
  }
  if (cursor_ >= content_.size()) return std::nullopt;
  return take_record(content_.data() + cursor_, nullptr);
}

bool Input::load_more() {
  if (mapped_ != nullptr || !loaded_.more_to_read()) return false;
  const FileSource::Loaded more = loaded_.read_more();
  if (more.os_error != 0) fail(Failure::open_failure, more.os_error);
  const bool longer = more.content.size() > content_.size();
  content_ = more.content;
  return longer || loaded_.more_to_read();
}

std::optional<std::string_view> Input::read_from_mapping() {
  end_at_cut();
  const std::size_t at = cursor_;
  if (at >= content_.size()) return std::nullopt;
  const void* newline = std::memchr(content_.data() + at, '\n', content_.size() - at);
  // The search itself may have met the cut, even in the record's own page.
  if (end_at_cut()) {
    if (at >= content_.size()) return std::nullopt;
    if (newline >= content_.data() + content_.size()) newline = nullptr;
  }
  return take_record(content_.data() + at, newline);
}

bool Input::end_at_cut() {
  // A mapped file that someone cut short ends where the cut began.
  const std::size_t intact = mapped_->intact_size();
  if (intact >= content_.size()) return false;
  content_ = content_.substr(0, intact);
  cursor_ = std::min(cursor_, content_.size());
  return true;
}

void Input::fail_at_end() const {
  fail(Failure::end_of_file);
}

void Input::skip_to(std::string_view key) {
  // A record begins after a line feed: look for the two together.
  std::array<char, 16> needle{};
  const std::size_t length = std::min(key.size(), needle.size() - 1) + 1;
  needle[0] = '\n';
  std::copy_n(key.data(), length - 1, needle.data() + 1);
  std::size_t from = std::min(cursor_, content_.size());
  if (content_.substr(from).starts_with(key)) return;
  for (;;) {
    const std::string_view rest = content_.substr(from);
    const void* found = ::memmem(rest.data(), rest.size(), needle.data(), length);
    if (found != nullptr) {
      cursor_ = static_cast<std::size_t>(static_cast<const char*>(found) + 1 - content_.data());
      return;
    }
    // What is loaded ends without the key; it may begin just before the end.
    from = content_.size() - std::min(content_.size() - from, length - 1);
    if (!load_more()) break;
    // The record at the cursor may only now be long enough to show the key.
    if (content_.substr(cursor_).starts_with(key)) return;
  }
  cursor_ = content_.size();
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
    const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
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

std::optional<std::string_view> TextLines::next_line() {
  if (text_.empty()) return std::nullopt;
  const std::size_t newline = text_.find('\n');
  if (newline == std::string_view::npos) return std::exchange(text_, {});
  const std::string_view line = text_.substr(0, newline);
  text_.remove_prefix(newline + 1);
  return without_line_end(line);
}

}  // namespace records
