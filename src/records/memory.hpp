// The memory that input files are read into: reused anonymous pages, and
// mapped files guarded against being cut short while mapped.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <ctime>
#include <string_view>

#include "descriptors.hpp"
#include "records/input.hpp"

namespace records {

// Memory for whole files, kept from one file to the next. Anonymous pages
// aligned for transparent huge pages: fresh heap memory for every file cost
// a page fault per small page, most of the time of reading a large entry.
class PageBuffer {
 public:
  PageBuffer() = default;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer();

  // Room for at least `size` bytes, the first `keep` of them kept: moved,
  // not copied, so that growing never holds the old and the new memory at
  // once. Throws std::bad_alloc when the memory cannot be obtained.
  char* reserve(std::size_t size, std::size_t keep = 0);
  char* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  void release() noexcept;
  // Gives the memory back if it is too large to be worth keeping for the
  // next file: a batch's entries are all far smaller, and one huge entry
  // must not hold its memory for the rest of the run.
  void shrink() noexcept;

 private:
  char* data_ = nullptr;  // mapped on a huge page boundary
  std::size_t capacity_ = 0;
};

// A regular file mapped into memory, read only. Pages that another process
// cuts off the file while it is mapped would stop the run with SIGBUS; a
// handler maps zero pages there instead, and `intact_size()` then tells
// where the cut began. The guard covers the thread that mapped the file,
// which is the one that reads it.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { release(); }

  // Maps the first `size` bytes of `fd`; false when the system will not,
  // and the file is to be read instead. The pages are brought in a piece at
  // a time, with a look for control events between pieces.
  bool map(int fd, std::size_t size);
  void release() noexcept;
  std::string_view content() const { return {data_, size_}; }
  std::size_t intact_size() const { return intact_ == nullptr ? 0 : intact_->load(std::memory_order_relaxed); }
  // Whether some of the file was cut off under the mapping.
  bool was_cut() const { return intact_size() < size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  int slot_ = -1;                                     // in the table the SIGBUS handler looks at
  const std::atomic<std::size_t>* intact_ = nullptr;  // that slot's count of bytes not cut off
};

// The size from which files are mapped rather than read: where the system
// grants huge pages, only files too large for the memory kept between files.
std::size_t default_mapped_from();

// Where a file source puts a file it loads. A large file is mapped; a smaller
// one is read into memory kept from one file to the next, a piece at a time
// as the reads get there (backbone mode needs a third of an average entry).
// The file stays open until `close`, so that it can be looked at again: an
// entry is read as of one moment, or not at all.
class FileMemory {
 public:
  PageBuffer buffer;
  MappedFile mapped;
  // A file larger than this is refused (EFBIG) before anything is read.
  std::size_t limit = default_size_limit;
  // Files of this size or more are mapped.
  std::size_t mapped_from = default_mapped_from();

  // Takes the open regular file `file`, `info` being what fstat told of it
  // when opened: maps it, or reads its first piece; the rest of a file read
  // waits for `read_more`.
  LoadedFile load(FileDescriptor file, const struct stat& info);
  bool more_to_read() const { return reading_; }
  // The next piece: the content so far, longer, or the same at the end.
  LoadedFile read_more();
  // The file is no longer what it was when loaded: it was cut short while
  // mapped or read, or its size or modification time changed since.
  bool changed() const;
  // Lets go of the file, and of memory too large to be worth keeping.
  void close() noexcept;

 private:
  FileDescriptor file_;
  std::size_t size_ = 0;    // the file's size when opened: never more is read
  timespec modified_{};     // its modification time then
  std::size_t loaded_ = 0;  // bytes read so far
  bool reading_ = false;    // pieces remain to be read
  bool cut_short_ = false;  // the file ended before its size was read
};

}  // namespace records
