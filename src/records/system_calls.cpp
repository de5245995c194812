// The system's own calls behind the seam.

#include "records/system_calls.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace records {
namespace {

int open_file(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

int open_file_at(int directory, const char* path, int flags, mode_t mode) {
  return ::openat(directory, path, flags, mode);
}

int open_file_beneath(int directory, const char* path, int flags) {
#ifdef SYS_openat2
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  return static_cast<int>(::syscall(SYS_openat2, directory, path, &how, sizeof how));
#else
  (void)directory;
  (void)path;
  (void)flags;
  errno = ENOSYS;
  return -1;
#endif
}

constexpr SystemCalls the_systems{open_file, open_file_at, open_file_beneath, ::read,     ::write,
                                  ::close,   ::fstat,      ::lseek,           ::ftruncate, ::linkat,
                                  ::renameat, ::unlinkat,  ::isatty,          ::eventfd,   ::mkdirat};

}  // namespace

const SystemCalls& real_system_calls() {
  return the_systems;
}

// Constant-initialized: in place before any other initializer could use it.
constinit SystemCalls system_calls = the_systems;

}  // namespace records
