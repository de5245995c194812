// A wake-up call between threads: an eventfd, waited for in ppoll like the
// console, so that a control event ends the wait as it ends every other.

#include "records/wakeup.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "records/system_calls.hpp"
#include "waits.hpp"

namespace records {

Wakeup::Wakeup() : fd_(system_calls.eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() {
  system_calls.close(fd_);
}

void Wakeup::ring() noexcept {
  const std::uint64_t one = 1;
  // Only fails when the count would overflow, and then it is rung anyway.
  if (system_calls.write(fd_, &one, sizeof one) < 0) return;
}

bool Wakeup::wait(int milliseconds) {
  if (!wait_until_ready_for(fd_, POLLIN, milliseconds)) return false;
  std::uint64_t rung = 0;
  // Resets the count; rings in between are taken with this one, and the
  // caller looks at what it waits for in any case.
  if (system_calls.read(fd_, &rung, sizeof rung) < 0) {
  }
  return true;
}

}  // namespace records
