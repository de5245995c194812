// The memory that input files are read into.

#include "memory.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string_view>
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

// The memory taken for `size` bytes: whole huge pages where that adds at
// most an eighth, exactly the small pages needed where it would add more.
// The 16 MB bench entry's last 1.5 MiB, in small pages, took 400 faults,
// more than the seven huge pages before it together.
constexpr std::size_t pages_for(std::size_t size) {
  const std::size_t in_huge_pages = round_up(size, huge_page);
  return in_huge_pages - size <= size / 8 ? in_huge_pages : round_up(size, small_page);
}

// Without huge pages, files from this size on are mapped: a large entry
// read into fresh memory spent most of the run in the kernel clearing and
// faulting in small pages. Smaller ones are read into memory that is
// already there from the file before, which measured faster than mapping
// below this size.
constexpr std::size_t smallest_mapped = std::size_t{2} << 20;

// A mapped file's pages are brought in this many at a time (a few
// milliseconds each, even for the holes of a sparse file), with a look for
// control events between.
constexpr std::size_t populated_at_once = std::size_t{32} << 20;

// A file is read in pieces, the first of this size and each next one twice
// the one before up to the largest, with a look for control events between.
constexpr std::size_t first_piece = std::size_t{64} << 10;
constexpr std::size_t largest_piece = std::size_t{16} << 20;

// Memory beyond this is given back when a file is closed rather than kept
// for the next.
constexpr std::size_t kept_memory = std::size_t{64} << 20;

// With huge pages, files up to the memory kept are read into it, larger ones
// mapped. Read into huge pages, the 16 MB bench entry took 0.8 times the
// time of its mapping (bench/README.md): a few faults of 2 MiB instead of a
// page table entry per 4 KiB, and a scan that misses the TLB a page in 512
// as often; the copy costs less than that. Beyond the kept memory a file
// would take fresh memory for itself and hold its bytes twice, in the page
// cache and in the copy.
constexpr std::size_t largest_read_with_huge_pages = kept_memory;

// Whether memory advised MADV_HUGEPAGE gets huge pages: the system offers
// them for all memory or on request, and has not been told not to for this
// process.
bool huge_pages_on_request() {
  if (::prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0) > 0) return false;
  const FileDescriptor setting(::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC));
  if (!setting) return false;
  std::array<char, 128> text{};
  const ssize_t length = ::read(setting.get(), text.data(), text.size());
  const std::string_view chosen(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
  return chosen.find("[always]") != std::string_view::npos || chosen.find("[madvise]") != std::string_view::npos;
}

// The mapped files the SIGBUS handler may cover, so that it never needs a
// lock or memory of its own. A SIGBUS goes to the thread that touched the
// page, so each region belongs to the thread that mapped it, claimed with
// its id before the other fields are set, and the handler looks only at its
// own thread's regions: another thread may be changing the rest. A thread
// that finds no free slot reads its file instead of mapping it.
struct GuardedRegion {
  std::atomic<pid_t> owner{0};  // the thread's id; 0 when free
  std::atomic<char*> data{nullptr};
  std::atomic<std::size_t> size{0};
  std::atomic<std::size_t> intact{0};  // bytes before the first page that was cut off
};
std::array<GuardedRegion, 64> guarded;

// Safe in a signal handler, unlike most ways of naming a thread.
pid_t this_thread() {
  return static_cast<pid_t>(::syscall(SYS_gettid));
}

std::size_t page_size() {
  static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

// A page of a mapped file that the file no longer reaches: zero pages go in
// its place and in the place of every page after it, and the access is made
// again. A fault anywhere else is a real one and takes its default course.
extern "C" void cover_cut_pages(int, siginfo_t* info, void*) {
  auto* const address = static_cast<char*>(info->si_addr);
  const pid_t self = this_thread();
  for (GuardedRegion& region : guarded) {
    if (region.owner.load() != self) continue;
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

GuardedRegion* claim_guarded_region(pid_t self) {
  for (GuardedRegion& region : guarded) {
    pid_t none = 0;
    if (region.owner.compare_exchange_strong(none, self)) return &region;
  }
  return nullptr;
}

}  // namespace

std::size_t default_mapped_from() {
  static const std::size_t from = huge_pages_on_request() ? largest_read_with_huge_pages + 1 : smallest_mapped;
  return from;
}

bool MappedFile::map(int fd, std::size_t size) {
  release();
  guard_mapped_files();
  if (size == 0) return false;
  const pid_t self = this_thread();
  GuardedRegion* const region = claim_guarded_region(self);
  if (region == nullptr) return false;
  void* const mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (mapping == MAP_FAILED) {
    region->owner.store(0);
    return false;
  }
  data_ = static_cast<char*>(mapping);
  size_ = size;
  slot_ = static_cast<int>(region - guarded.data());
  intact_ = &region->intact;
  region->size.store(size);
  region->intact.store(size);
  region->data.store(data_);
  // Populated now: the pages come from the page cache a piece at a time
  // instead of one fault each. A kernel that cannot (before Linux 5.14)
  // leaves them to the faults; a cut met here is seen by the reads.
  for (std::size_t offset = 0; offset < size; offset += populated_at_once) {
    throw_if_control_event();
    if (::madvise(data_ + offset, std::min(populated_at_once, size - offset), MADV_POPULATE_READ) != 0) break;
  }
  return true;
}

void MappedFile::release() noexcept {
  if (data_ == nullptr) return;
  GuardedRegion& region = guarded[static_cast<std::size_t>(slot_)];
  region.data.store(nullptr);
  ::munmap(data_, size_);
  region.owner.store(0);
  data_ = nullptr;
  size_ = 0;
  slot_ = -1;
  intact_ = nullptr;
}

PageBuffer::~PageBuffer() {
  release();
}

void PageBuffer::release() noexcept {
  if (data_ != nullptr) ::munmap(data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
}

void PageBuffer::shrink() noexcept {
  if (capacity_ > kept_memory) release();
}

char* PageBuffer::reserve(std::size_t size, std::size_t keep) {
  if (size <= capacity_) return data_;
  // No object may be larger, and rounding a size near the largest up to
  // pages would wrap around to a small one.
  if (size > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) throw std::bad_alloc();
  const std::size_t capacity = pages_for(size);
  if (keep > 0 && data_ != nullptr) {
    // The pages move to a larger mapping, wherever the system finds room:
    // nothing is copied, and the address space needed is the new size
    // alone, which a memory limit (RLIMIT_AS) counts. The mapping is one
    // piece with one set of flags, or mremap would refuse it (EFAULT).
    void* const moved = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<char*>(moved);
    capacity_ = capacity;
    ::madvise(data_, capacity_, MADV_HUGEPAGE);
    return data_;
  }
  // Nothing to keep: the old memory goes first, so that the two are never
  // held at once. Starting on a huge page boundary: every whole 2 MiB of the
  // file then takes one fault, and a rest in small pages costs memory only
  // as far as it is used. The room mapped around it to find the boundary is
  // given back.
  release();
  const std::size_t mapped = capacity + huge_page;
  void* const mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  const auto address = reinterpret_cast<std::uintptr_t>(mapping);
  const std::size_t before = round_up(address, huge_page) - address;
  auto* const start = static_cast<char*>(mapping);
  if (before > 0) ::munmap(start, before);
  if (mapped - before - capacity > 0) ::munmap(start + before + capacity, mapped - before - capacity);
  data_ = start + before;
  capacity_ = capacity;
  ::madvise(data_, capacity_, MADV_HUGEPAGE);
  return data_;
}

LoadedFile FileMemory::load(FileDescriptor file, const struct stat& info) {
  close();
  file_ = std::move(file);
  // The size it has now: a file that grows while it is read is read only
  // so far, and one cut short ends where it was cut; either is a change.
  size_ = static_cast<std::size_t>(info.st_size);
  modified_ = info.st_mtim;
  if (size_ >= mapped_from && mapped.map(file_.get(), size_)) return {mapped.content(), 0};
  // All of it reserved now, so that what was handed out stays where it is;
  // pages are only taken as they are read into.
  buffer.reserve(size_);
  loaded_ = 0;
  reading_ = true;
  return read_more();
}

LoadedFile FileMemory::read_more() {
  if (reading_) {
    throw_if_control_event();
    const std::size_t piece = std::min({std::max(first_piece, loaded_), largest_piece, size_ - loaded_});
    ssize_t n = 0;
    do {
      n = system_calls.read(file_.get(), buffer.data() + loaded_, piece);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      reading_ = false;
      return {{}, errno};
    }
    loaded_ += static_cast<std::size_t>(n);
    if (n == 0 && loaded_ < size_) cut_short_ = true;
    if (n == 0 || loaded_ == size_) reading_ = false;
  }
  return {{buffer.data(), loaded_}, 0};
}

bool FileMemory::changed() const {
  if (!file_) return false;
  if (cut_short_ || mapped.was_cut()) return true;
  struct stat now {};
  if (system_calls.fstat(file_.get(), &now) != 0) return true;
  return static_cast<std::size_t>(now.st_size) != size_ || now.st_mtim.tv_sec != modified_.tv_sec ||
         now.st_mtim.tv_nsec != modified_.tv_nsec;
}

void FileMemory::close() noexcept {
  file_.reset();
  mapped.release();
  reading_ = false;
  cut_short_ = false;
  loaded_ = 0;
  size_ = 0;
  buffer.shrink();
}

}  // namespace records
