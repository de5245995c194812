// The seam between this layer and the system: the calls through which files
// and the console are opened, read, written, closed, renamed and removed.
// Every such call goes through `system_calls`, so that a test can make any of
// them fail, come back short or be interrupted, and see what the run makes
// of it. The tool itself never changes the table.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace records {

struct SystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, std::size_t count);
  ssize_t (*write)(int fd, const void* buffer, std::size_t count);
  int (*close)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
};

// The system's own calls.
const SystemCalls& real_system_calls();

// The calls in use.
extern SystemCalls system_calls;

}  // namespace records
