// Input connections: whole files from a source, records handed out as views.

#include "records/input.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "compressed.hpp"
#include "memory.hpp"
#include "records/control_events.hpp"
#include "records/system_calls.hpp"

namespace records {
namespace {

Failure open_failure_for(int os_error) {
  if (os_error == ENOENT) return Failure::file_not_found;
  if (os_error == EFBIG) return Failure::too_large;
  return creation_failure_for(os_error);
}

class FileSystem final : public FileSource {
 public:
  LoadedFile load(const std::string& path, FileMemory& memory) override {
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // only regular files are read, so nothing blocks afterwards either.
    FileDescriptor file(system_calls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!file) return {{}, errno};
    struct stat info {};
    if (system_calls.fstat(file.get(), &info) != 0) return {{}, errno};
    if (S_ISDIR(info.st_mode)) return {{}, EISDIR};
    if (!S_ISREG(info.st_mode)) return {{}, EINVAL};
    // Refused before anything is read or mapped: a huge sparse file took
    // memory and time in proportion to its size before it failed.
    if (static_cast<std::size_t>(info.st_size) > memory.limit) return {{}, EFBIG};
    return memory.load(std::move(file), info);
  }
};

}  // namespace

struct Input::Storage {
  FileMemory loaded;    // the file as stored
  PageBuffer unpacked;  // a compressed file's text
  Unpacker unpacker;
};

FileSource& file_system() {
  static FileSystem files;
  return files;
}

Input::Input(int unit, FileSource& files) : unit_(unit), files_(&files), storage_(std::make_unique<Storage>()) {}

Input::~Input() = default;

void Input::limit_size(std::size_t bytes) {
  storage_->loaded.limit = bytes;
}

void Input::map_from(std::size_t bytes) {
  storage_->loaded.mapped_from = bytes;
}

LoadedFile Input::load_afresh(std::string_view path) {
  release();
  file_.assign(path);
  throw_if_control_event();
  // The system would take the name only up to the NUL: "1a8o\0.pdb" read
  // PDB/1a8o and was exported as source/1a8o.
  if (file_.find('\0') != std::string::npos) return {{}, EINVAL};
  return files_->load(file_, storage_->loaded);
}

void Input::open_old(std::string_view path, Content content) {
  take(load_afresh(path), content);
}

bool Input::open_if_there(std::string_view path, Content content) {
  const LoadedFile loaded = load_afresh(path);
  if (loaded.os_error == ENOENT) return false;
  take(loaded, content);
  return true;
}

void Input::take(const LoadedFile& loaded, Content content) {
  if (loaded.os_error != 0) fail(open_failure_for(loaded.os_error));
  content_ = loaded.content;
  const std::size_t limit = storage_->loaded.limit;
  // A source other than the file system, which refuses such a file before
  // reading it, may hand over more than the limit.
  if (content_.size() > limit) fail(Failure::too_large);
  if (content == Content::unpacked && is_compressed(content_)) {
    // Unpacked whole, so read whole first.
    while (load_more()) {
    }
    const Unpacked unpacked = storage_->unpacker.unpack(content_, storage_->unpacked, limit);
    if (unpacked.outcome == Unpacked::Outcome::corrupt) fail(Failure::corrupt_compressed_data);
    if (unpacked.outcome == Unpacked::Outcome::too_large) fail(Failure::too_large);
    content_ = unpacked.text;
  }
  rewind();
}

void Input::close() {
  if (storage_->loaded.changed()) fail(Failure::file_changed);
  release();
}

void Input::release() {
  storage_->loaded.close();
  storage_->unpacked.shrink();
  content_ = {};
  cursor_ = 0;
  window_end_ = 0;
}

std::optional<std::string_view> Input::read_further() {
  // The record goes on past the window, all of which `read` searched (or
  // the cursor is past it): search on, a window at a time, loading on when
  // the content loaded so far ends without its line end.
  std::size_t searched = std::max(cursor_, window_end_);
  for (;;) {
    if (searched < content_.size()) {
      look_between_windows();
      window_end_ = std::min(content_.size(), searched + window);
      const void* newline = std::memchr(content_.data() + searched, '\n', window_end_ - searched);
      if (newline != nullptr) return take_record(content_.data() + cursor_, newline);
      searched = window_end_;
    } else if (!load_more()) {
      break;
    }
  }
  if (cursor_ >= content_.size()) return std::nullopt;
  return take_record(content_.data() + cursor_, nullptr);
}

void Input::look_between_windows() const {
  throw_if_control_event();
  // A mapped file that someone cut short reads as zeros from the cut on;
  // there is no point in scanning them.
  if (storage_->loaded.mapped.was_cut()) fail(Failure::file_changed);
}

bool Input::load_more() {
  FileMemory& loaded = storage_->loaded;
  if (!loaded.more_to_read()) return false;
  const LoadedFile more = loaded.read_more();
  if (more.os_error != 0) fail(Failure::open_failure);
  const bool longer = more.content.size() > content_.size();
  content_ = more.content;
  return longer || loaded.more_to_read();
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
    // A window at a time; the key may begin just before a window's end.
    const std::size_t end = std::min(content_.size(), from + window);
    const void* found = ::memmem(content_.data() + from, end - from, needle.data(), length);
    if (found != nullptr) {
      cursor_ = static_cast<std::size_t>(static_cast<const char*>(found) + 1 - content_.data());
      return;
    }
    from = end - std::min(end - from, length - 1);
    if (end < content_.size()) {
      look_between_windows();
      continue;
    }
    if (!load_more()) break;
    // The record at the cursor may only now be long enough to show the key.
    if (content_.substr(cursor_).starts_with(key)) return;
  }
  cursor_ = content_.size();
}

std::string_view Input::whole() {
  while (load_more()) {
  }
  // A mapped file cut short meanwhile: no need to read its zeros.
  look_between_windows();
  return content_;
}

void Input::fail(Failure failure, std::string_view detail) const {
  // What else was found says nothing of the file as it is now.
  if (failure != Failure::file_changed && storage_->loaded.changed()) {
    failure = Failure::file_changed;
    detail = {};
  }
  throw IoError(failure, unit_, file_, detail);
}

}  // namespace records
