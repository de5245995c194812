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

class FileSystem final : public FileSource {
 public:
  LoadedFile load(const std::string& path, FileMemory& memory) override {
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // only regular files are read, so nothing blocks afterwards either.
    FileDescriptor file(system_calls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
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

struct Input::Storage {
  FileMemory loaded;    // the file as stored
  PageBuffer unpacked;  // a compressed file's text
};

FileSource& file_system() {
  static FileSystem files;
  return files;
}

Input::Input(int unit, FileSource& files) : unit_(unit), files_(&files), storage_(std::make_unique<Storage>()) {}

Input::~Input() = default;

LoadedFile Input::load_afresh(std::string_view path) {
  close();
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
  const MappedFile& mapped = storage_->loaded.mapped;
  const bool is_mapped = loaded.content.data() != nullptr && loaded.content.data() == mapped.content().data();
  mapped_ = is_mapped ? &mapped : nullptr;
  content_ = loaded.content;
  if (content == Content::unpacked && is_compressed(content_)) {
    // Unpacked whole, so read whole first.
    while (load_more()) {
    }
    const auto text = unpack(content_, storage_->unpacked);
    if (!text) fail(Failure::corrupt_compressed_data);
    content_ = *text;
    mapped_ = nullptr;
  }
}

void Input::close() {
  storage_->loaded.stop_reading();
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
  FileMemory& loaded = storage_->loaded;
  if (mapped_ != nullptr || !loaded.more_to_read()) return false;
  const LoadedFile more = loaded.read_more();
  if (more.os_error != 0) fail(Failure::open_failure);
  const bool longer = more.content.size() > content_.size();
  content_ = more.content;
  return longer || loaded.more_to_read();
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

void Input::fail(Failure failure) const {
  throw IoError(failure, unit_, file_);
}

}  // namespace records
