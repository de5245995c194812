// The seam between the tool and the system. Every call through which the
// tool opens, reads, writes, looks at, closes, links, renames or removes a file, a
// directory, the console or the threads' wake-up call goes through
// `system_calls`, so that a test can make any of them fail, come back short
// or be interrupted, or change the file under the run at a chosen moment,
// and see what the run makes of it. The tool itself never changes the table.
//
// The system calls that do not go through it, and why:
// - Memory: mmap, mremap, munmap, madvise (memory.cpp). A mapping that
//   fails is memory that ran out (std::bad_alloc), brought about in tests
//   with a limit on the address space; advice that fails changes nothing
//   but speed.
// - Signals, waits and the pause's command: sigaction, pthread_sigmask,
//   ppoll, kill, waitpid, pidfd_open, posix_spawn (control_events.cpp,
//   waits.cpp, pause.cpp, memory.cpp). Tests send real signals at chosen
//   moments and run real commands, one of them too long to start; a wait
//   that fails returns, and the read or write after it meets the failure
//   through this table.
// - Questions whose failure has an answer that changes nothing shown:
//   getrandom and getpid (output.cpp: the seed of temporary names, which
//   skip names already taken), gettid and sysconf (memory.cpp: a thread's
//   id and the page size, which do not fail), sched_getaffinity and sysconf
//   (the driver's options: the processors -j 0 counts, one at least).
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
  // 1 when `fd` is a terminal.
  int (*isatty)(int fd);
  // A new eventfd counter (EFD_ flags).
  int (*eventfd)(unsigned int initial, int flags);
  // Makes a directory relative to the directory `directory`.
  int (*mkdirat)(int directory, const char* path, mode_t mode);
};

// The system's own calls.
const SystemCalls& real_system_calls();

// The calls in use.
extern SystemCalls system_calls;

}  // namespace records
