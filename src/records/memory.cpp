// The memory that input files are read into.

#include "memory.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "records/control_events.hpp"
#include "records/system_calls.hpp"

namespace records {
namespace {

constexpr std::size_t small_page = std::size_t{4} << 10;
constexpr std::size_t huge_page = std::size_t{2} << 20;

constexpr std::size_t round_up(std::size_t size, std::size_t step) {
  return (size + step - 1) / step * step;
}

// The mapped files the SIGBUS handler may cover, so that it never needs a
// lock or memory of its own.
struct GuardedRegion {
  std::atomic<char*> data{nullptr};
  std::atomic<std::size_t> size{0};
  std::atomic<std::size_t> intact{0};  // bytes before the first page that was cut off
};
std::array<GuardedRegion, 8> guarded;

std::size_t page_size() {
  static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

// A page of a mapped file that the file no longer reaches: zero pages go in
// its place and in the place of every page after it, and the access is made
// again. A fault anywhere else is a real one and takes its default course.
extern "C" void cover_cut_pages(int, siginfo_t* info, void*) {
  auto* const address = static_cast<char*>(info->si_addr);
  for (GuardedRegion& region : guarded) {
    char* const data = region.data.load();
    const std::size_t size = region.size.load();
    if (data == nullptr || address < data || address >= data + size) continue;
    const std::size_t offset = static_cast<std::size_t>(address - data) / page_size() * page_size();
    if (::mmap(data + offset, size - offset, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      region.intact.store(std::min(region.intact.load(), offset));
      return;
    }
    break;
  }
  ::signal(SIGBUS, SIG_DFL);
}

void guard_mapped_files() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_sigaction = cover_cut_pages;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    return ::sigaction(SIGBUS, &action, nullptr) == 0;
  }();
  (void)installed;
}

}  // namespace

bool MappedFile::map(int fd, std::size_t size) {
  release();
  guard_mapped_files();
  const auto free_slot = std::find_if(guarded.begin(), guarded.end(), [](const GuardedRegion& r) { return r.data.load() == nullptr; });
  if (size == 0 || free_slot == guarded.end()) return false;
  // Populated at once: the pages come from the page cache in one call
  // instead of one fault each.
  void* const mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (mapping == MAP_FAILED) return false;
  data_ = static_cast<char*>(mapping);
  size_ = size;
  slot_ = static_cast<int>(free_slot - guarded.begin());
  intact_ = &free_slot->intact;
  free_slot->size.store(size);
  free_slot->intact.store(size);
  free_slot->data.store(data_);
  return true;
}

void MappedFile::release() noexcept {
  if (data_ == nullptr) return;
  guarded[static_cast<std::size_t>(slot_)].data.store(nullptr);
  ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  slot_ = -1;
  intact_ = nullptr;
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

namespace {

// A file is read in pieces, the first of this size and each next one twice
// the one before, with a look for control events between them.
constexpr std::size_t first_piece = std::size_t{64} << 10;

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
      n = system_calls.read(file_.get(), buffer.data() + loaded_, piece);
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

}  // namespace records
