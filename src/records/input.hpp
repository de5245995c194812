// Input connections: files opened with status "OLD", read whole once, their
// records handed out as views; and the sources such files come from.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "records/failures.hpp"

namespace records {

class FileMemory;
class MappedFile;

// A file's content as loaded so far, or why there is none.
struct LoadedFile {
  std::string_view content;
  int os_error = 0;  // when not 0, why there is no content (ENOENT: no such file)
};

// Where input files come from: the file system, or, in tests and fuzzing,
// contents held in memory.
class FileSource {
 public:
  virtual ~FileSource() = default;
  // The content of the regular file `path`, up to the size it had when
  // opened: whole, or its beginning when `memory` goes on reading it. It
  // stays valid until the next load into `memory`.
  virtual LoadedFile load(const std::string& path, FileMemory& memory) = 0;
};

FileSource& file_system();

// What is read of a file: its bytes as stored, or the text of gzip data.
enum class Content { as_stored, unpacked };

// A formatted sequential input connection opened with status "OLD". The file
// is read once; rewind resets a cursor and records are views into that
// memory, valid until the next open.
class Input {
 public:
  explicit Input(int unit, FileSource& files = file_system());
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // The file must exist and be a regular file (or a link to one). With
  // `Content::unpacked`, gzip data is read as the text it holds.
  void open_old(std::string_view path, Content content = Content::as_stored);
  // As `open_old`, but false, with nothing open, when there is no such file.
  bool open_if_there(std::string_view path, Content content = Content::as_stored);
  void rewind() { cursor_ = 0; }
  void close();

  // A read with status: nullopt at the end of the file. Inline: the scans
  // call it once per record of every entry.
  std::optional<std::string_view> read() {
    if (mapped_ == nullptr && cursor_ < content_.size()) {
      const char* start = content_.data() + cursor_;
      const void* newline = std::memchr(start, '\n', content_.size() - cursor_);
      if (newline != nullptr) return take_record(start, newline);
    }
    return read_further();
  }
  // A read without status: the end of the file is fatal.
  std::string_view read_or_fail() {
    const auto record = read();
    if (!record) fail(Failure::end_of_file);
    return *record;
  }
  // Moves on to the next record that begins with `key` (of at least one
  // character); the records in between are passed over unread.
  void skip_to(std::string_view key);

  [[noreturn]] void fail(Failure failure) const;
  int unit() const { return unit_; }
  const std::string& file() const { return file_; }

 private:
  struct Storage;

  // Closes what was open and loads `path`, which is now the file's name.
  LoadedFile load_afresh(std::string_view path);
  // Takes what was loaded as the content; a failure to load ends the run.
  void take(const LoadedFile& loaded, Content content);
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

  int unit_;
  FileSource* files_;
  std::string file_;
  std::unique_ptr<Storage> storage_;  // the file as stored, and a compressed one's text
  std::string_view content_;
  const MappedFile* mapped_ = nullptr;  // when the content is a mapped file's
  std::size_t cursor_ = 0;
};

}  // namespace records
