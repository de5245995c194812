// Owned file descriptors.

#include "descriptors.hpp"

#include <utility>

#include "records/system_calls.hpp"

namespace records {

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
  // Nothing is left to do about a close that fails here: whatever needed
  // the descriptor to close well closed it itself and looked.
  if (fd_ >= 0) system_calls.close(fd_);
  fd_ = -1;
}

}  // namespace records
