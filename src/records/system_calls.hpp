// The seam between this layer and the system: the calls through which files
// and the console are opened, read, written, looked at, closed, linked,
// renamed and removed. Every such call goes through `system_calls`, so that a test can
// make any of them fail, come back short or be interrupted, or change the
// file under the run at a chosen moment, and see what the run makes of it.
// The tool itself never changes the table.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace records {

struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  // Relative to the directory `directory` (AT_FDCWD: the working directory).
  int (*openat)(int directory, const char* path, int flags, mode_t mode);
  // As openat, but `path` is resolved strictly beneath `directory`: no
  // symbolic link and no ".." that leaves it is followed (ELOOP, EXDEV).
  // -1 with ENOSYS where the kernel cannot (before Linux 5.6).
  int (*openat_beneath)(int directory, const char* path, int flags);
  ssize_t (*read)(int fd, void* buffer, std::size_t count);
  ssize_t (*write)(int fd, const void* buffer, std::size_t count);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* info);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*ftruncate)(int fd, off_t length);
  // `flags` as linkat(2) takes them (AT_SYMLINK_FOLLOW).
  int (*linkat)(int from_directory, const char* from, int to_directory, const char* to, int flags);
  int (*renameat)(int from_directory, const char* from, int to_directory, const char* to);
  int (*unlinkat)(int directory, const char* path, int flags);
};

// The system's own calls.
const SystemCalls& real_system_calls();

// The calls in use.
extern SystemCalls system_calls;

}  // namespace records
