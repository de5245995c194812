// The system's own calls behind the seam.

#include "records/system_calls.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace records {
namespace {

int open_file(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

constexpr SystemCalls the_systems{open_file, ::read, ::write, ::close, ::rename, ::unlink};

}  // namespace

const SystemCalls& real_system_calls() {
  return the_systems;
}

// Constant-initialized: in place before any other initializer could use it.
constinit SystemCalls system_calls = the_systems;

}  // namespace records
