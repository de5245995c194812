// How floor and inflate get an entry's bytes into memory: the cheapest way we
// know on Linux, so that the costs they are measured with are the work itself
// and not the way memory was come by.
//
// Both keep the memory from one entry to the next and ask for transparent
// huge pages; a file is mapped instead of read from the size extract maps
// from (records::default_mapped_from: 2 MiB without huge pages, past 64 MiB
// with them). Neither is careful: a mapped file cut short while it is being
// scanned ends the program with SIGBUS.
//
// A Loader made with Strategy::read_only never maps: it reads every file,
// whatever its size, into the reused memory, which is what the other does
// too wherever huge pages are granted and no file passes 64 MiB.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct inflate_state;

namespace entry_bytes {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Anonymous memory in 2 MiB steps, madvise(MADV_HUGEPAGE)d, kept until a
// larger size is asked for. A fresh std::string of 16 MB costs about 4,000
// page faults each time; this costs 8, once.
class Region {
 public:
  Region() = default;
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  ~Region();

  char* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }

  // At least `size` bytes, the first `keep` of them as they were.
  void reserve(std::size_t size, std::size_t keep = 0);

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
};

inline bool is_gzip(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b';
}

enum class Strategy { map_large, read_only };

class Loader {
 public:
  explicit Loader(Strategy strategy = Strategy::map_large);
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;
  ~Loader();

  // The file's bytes as they are. Valid until the next call of any member.
  std::string_view read(const std::string& path);

  // Every gzip member of `gz`, one after the other, decompressed whole.
  // Valid until the next call of any member; `gz` may be what read returned.
  std::string_view inflate(std::string_view gz);

  // An entry as extract reads it: `path`, or `path`.gz when there is no
  // `path`, decompressed when it starts with the gzip magic.
  std::string_view load(const std::string& path);

 private:
  // Takes over `fd`, which may be -1 with errno telling why.
  std::string_view read_from(int fd, const std::string& path);
  void unmap();

  Region input_;
  Region output_;
  const char* mapped_ = nullptr;
  std::size_t mapped_size_ = 0;
  Strategy strategy_;
  std::unique_ptr<inflate_state> state_;
};

}  // namespace entry_bytes
