#include "entry_bytes.hpp"

#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "memory.hpp"

namespace entry_bytes {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;


std::string error_text(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

class File {
 public:
  File(int fd, const std::string& path) : fd_(fd) {
    if (fd_ < 0) throw Failure(error_text("cannot open", path));
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

int open_file(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

Region::~Region() {
  if (data_ != nullptr) ::munmap(data_, capacity_);
}

void Region::reserve(std::size_t size, std::size_t keep) {
  if (size <= capacity_) return;
  const std::size_t capacity = (size + huge_page - 1) / huge_page * huge_page;
  void* memory = MAP_FAILED;
  if (data_ == nullptr) {
    memory = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  } else if (keep == 0) {
    // Nothing to keep: fresh memory rather than moving pages about.
    ::munmap(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
    memory = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  } else {
    memory = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  }
  if (memory == MAP_FAILED) throw Failure("out of memory for " + std::to_string(capacity) + " bytes");
  ::madvise(memory, capacity, MADV_HUGEPAGE);
  data_ = static_cast<char*>(memory);
  capacity_ = capacity;
}

Loader::Loader(Strategy strategy) : strategy_(strategy), state_(std::make_unique<inflate_state>()) {}

Loader::~Loader() {
  unmap();
}

void Loader::unmap() {
  if (mapped_ == nullptr) return;
  ::munmap(const_cast<char*>(mapped_), mapped_size_);
  mapped_ = nullptr;
  mapped_size_ = 0;
}

std::string_view Loader::read(const std::string& path) {
  return read_from(open_file(path), path);
}

std::string_view Loader::read_from(int fd, const std::string& path) {
  const File file(fd, path);
  unmap();
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) throw Failure(error_text("cannot stat", path));
  const auto expected = static_cast<std::size_t>(info.st_size);

  if (strategy_ == Strategy::map_large && S_ISREG(info.st_mode) && expected >= records::default_mapped_from()) {
    void* memory = ::mmap(nullptr, expected, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.fd(), 0);
    if (memory == MAP_FAILED) throw Failure(error_text("cannot map", path));
    mapped_ = static_cast<const char*>(memory);
    mapped_size_ = expected;
    return {mapped_, mapped_size_};
  }

  // One read for a regular file; the loop is for a file that grew meanwhile.
  std::size_t size = 0;
  input_.reserve(std::max<std::size_t>(expected, 1));
  for (;;) {
    if (size == input_.capacity()) input_.reserve(size + 1, size);
    const ssize_t n = ::read(file.fd(), input_.data() + size, input_.capacity() - size);
    if (n > 0) {
      size += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      throw Failure(error_text("cannot read", path));
    }
  }
  return {input_.data(), size};
}

std::string_view Loader::inflate(std::string_view gz) {
  // A member's trailer ends with its size modulo 2^32: with one member, the
  // last four bytes give the whole size and no member is decompressed twice.
  std::size_t guess = gz.size();
  if (gz.size() >= 18) {
    const auto* end = reinterpret_cast<const unsigned char*>(gz.data() + gz.size());
    guess = std::max<std::size_t>(guess, std::uint32_t{end[-4]} | std::uint32_t{end[-3]} << 8 |
                                             std::uint32_t{end[-2]} << 16 | std::uint32_t{end[-1]} << 24);
  }
  output_.reserve(guess);

  // ISA-L, as extract uses it, but in one step per member as far as the
  // memory goes: no look for anything between steps.
  inflate_state& state = *state_;
  std::size_t in = 0;
  std::size_t out = 0;
  bool in_member = false;
  while (in < gz.size() || in_member) {
    if (!in_member) {
      isal_inflate_init(&state);
      state.crc_flag = ISAL_GZIP;
      in_member = true;
    }
    if (out == output_.capacity()) output_.reserve(output_.capacity() * 2, out);
    const std::size_t given = std::min<std::size_t>(gz.size() - in, UINT32_MAX);
    const std::size_t space = std::min<std::size_t>(output_.capacity() - out, UINT32_MAX);
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(gz.data() + in));
    state.avail_in = static_cast<std::uint32_t>(given);
    state.next_out = reinterpret_cast<std::uint8_t*>(output_.data() + out);
    state.avail_out = static_cast<std::uint32_t>(space);
    if (isal_inflate(&state) != ISAL_DECOMP_OK) throw Failure("not a whole gzip stream");
    // At a member's end, ISA-L hands back what it had read ahead.
    in = static_cast<std::size_t>(reinterpret_cast<const char*>(state.next_in) - gz.data());
    out += space - state.avail_out;
    if (state.block_state == ISAL_BLOCK_FINISH) {
      in_member = false;
    } else if (in == gz.size() && state.avail_out > 0) {
      throw Failure("not a whole gzip stream");
    }
  }
  return {output_.data(), out};
}

std::string_view Loader::load(const std::string& path) {
  const int fd = open_file(path);
  const std::string_view bytes = fd < 0 && errno == ENOENT ? read(path + ".gz") : read_from(fd, path);
  return is_gzip(bytes) ? inflate(bytes) : bytes;
}

}  // namespace entry_bytes
