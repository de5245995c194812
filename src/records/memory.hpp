// The memory that input files are read into: reused anonymous pages, and
// mapped files guarded against being cut short while mapped.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

#include "descriptors.hpp"
#include "records/input.hpp"

namespace records {

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

}  // namespace records
