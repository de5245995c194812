// Owned descriptors, and the memory that whole files are read into.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "records.hpp"

namespace records {
namespace {

constexpr std::size_t small_page = std::size_t{4} << 10;
constexpr std::size_t huge_page = std::size_t{2} << 20;

constexpr std::size_t round_up(std::size_t size, std::size_t step) {
  return (size + step - 1) / step * step;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() noexcept {
  return std::exchange(fd_, -1);
}

void FileDescriptor::reset() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

PageBuffer::~PageBuffer() {
  release();
}

void PageBuffer::release() noexcept {
  if (mapping_ != nullptr) ::munmap(mapping_, mapped_);
  mapping_ = nullptr;
  mapped_ = 0;
  data_ = nullptr;
  capacity_ = 0;
}

char* PageBuffer::reserve(std::size_t size, std::size_t keep) {
  if (size <= capacity_) return data_;
  // Exactly the pages asked for, starting on a huge page boundary: every
  // whole 2 MiB of the file then takes one fault, and the rest, in small
  // pages, costs memory only as far as it is used. Rounding the whole
  // buffer up to huge pages would hold up to 2 MiB more than the file.
  const std::size_t capacity = round_up(size, small_page);
  const std::size_t mapped = capacity + huge_page;
  void* mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  const auto address = reinterpret_cast<std::uintptr_t>(mapping);
  auto* const data = static_cast<char*>(mapping) + (round_up(address, huge_page) - address);
  ::madvise(data, capacity, MADV_HUGEPAGE);
  if (keep > 0) std::memcpy(data, data_, std::min(keep, capacity_));
  release();
  mapping_ = static_cast<char*>(mapping);
  mapped_ = mapped;
  data_ = data;
  capacity_ = capacity;
  return data_;
}

}  // namespace records
