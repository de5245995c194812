// Input connections: files opened with status "OLD", read whole once, their
// records handed out as views; and the sources such files come from.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "records/failures.hpp"
#include "records/lines.hpp"

namespace records {

class FileMemory;

// The largest file, or text of compressed data, read unless told otherwise:
// the largest archive entries, a few million atoms in mmCIF, are well under
// half of it.
inline constexpr std::size_t default_size_limit = std::size_t{2} << 30;

// A file's content as loaded so far, or why there is none.
struct LoadedFile {
  std::string_view content;
  int os_error = 0;  // when not 0, why there is no content (ENOENT: no such file; EFBIG: over the limit)
};

// Where input files come from: the file system, or, in tests and fuzzing,
// contents held in memory.
class FileSource {
 public:
  virtual ~FileSource() = default;
  // The content of the regular file `path`, up to the size it had when
  // opened: whole, or its beginning when `memory` goes on reading it. It
  // stays valid until the next load into `memory`, or its close.
  virtual LoadedFile load(const std::string& path, FileMemory& memory) = 0;
};

FileSource& file_system();

// What is read of a file: its bytes as stored, or the text of gzip data.
enum class Content { as_stored, unpacked };

// A formatted sequential input connection opened with status "OLD". The file
// is read once; rewind resets a cursor and records are views into that
// memory, valid until the next open.
//
// A file is read as of one moment: one that changes while it is open (cut
// short, written, grown) fails with `Failure::file_changed`, at its close or
// at any failure met meanwhile. Its content, unpacked for gzip data, may not
// exceed the size limit (`Failure::too_large`). Reads look for control
// events once per window of the file, so that no scan, over however long a
// line, keeps an event waiting.
class Input {
 public:
  explicit Input(int unit, FileSource& files = file_system());
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // The largest content taken: a file, or the text of gzip data.
  void limit_size(std::size_t bytes);
  // Files of this size or more are mapped, smaller ones read; by default
  // where the system grants huge pages, files larger than 64 MiB, else from
  // 2 MiB on.
  void map_from(std::size_t bytes);
  // The file must exist and be a regular file (or a link to one). With
  // `Content::unpacked`, gzip data is read as the text it holds.
  void open_old(std::string_view path, Content content = Content::as_stored);
  // As `open_old`, but false, with nothing open, when there is no such file.
  bool open_if_there(std::string_view path, Content content = Content::as_stored);
  void rewind() { rewind_to(0); }
  // Where the next record begins, for `rewind_to`.
  std::size_t position() const { return cursor_; }
  // Back (or on) to a record that `position` told; the records before it
  // are not read again.
  void rewind_to(std::size_t position) {
    cursor_ = position;
    window_end_ = std::min(content_.size(), position + window);
  }
  // Close with status "KEEP": fails if the file changed while it was open.
  void close();

  // A read with status: nullopt at the end of the file. Inline: the scans
  // call it once per record of every entry.
  std::optional<std::string_view> read() {
    if (cursor_ < window_end_) {
      const char* start = content_.data() + cursor_;
      const std::size_t left = window_end_ - cursor_;
      if (left > full_record + 1) {
        if (const char* newline = full_record_end(start)) return take_record(start, newline);
      }
      const void* newline = std::memchr(start, '\n', left);
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
  // The whole content of the file, read to its end, for a reader that is
  // not one of records (mmCIF text, where a value may span lines). Valid as
  // records are; the cursor does not move.
  std::string_view whole();

  // Ends the reading with `failure`, or with `Failure::file_changed` when
  // the file changed meanwhile, which is then the cause of anything else.
  // `detail` says where and why, when the failure's text cannot.
  [[noreturn]] void fail(Failure failure, std::string_view detail = {}) const;
  int unit() const { return unit_; }
  const std::string& file() const { return file_; }

 private:
  struct Storage;

  // Records are found within a window of the content; at its end, control
  // events are looked for and the window moves on.
  static constexpr std::size_t window = std::size_t{1} << 20;

  // Closes what was open and loads `path`, which is now the file's name.
  LoadedFile load_afresh(std::string_view path);
  // Takes what was loaded as the content; a failure to load ends the run.
  void take(const LoadedFile& loaded, Content content);
  // Lets go of the file, as it stands.
  void release();
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
  // A read at the end of the window.
  std::optional<std::string_view> read_further();
  // Between windows: control events, and a mapped file cut short.
  void look_between_windows() const;
  // The next piece of a file still being read; false at its end.
  bool load_more();

  int unit_;
  FileSource* files_;
  std::string file_;
  std::unique_ptr<Storage> storage_;  // the file as stored, and a compressed one's text
  std::string_view content_;
  std::size_t cursor_ = 0;
  std::size_t window_end_ = 0;  // records are searched for up to here
};

}  // namespace records
