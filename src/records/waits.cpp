// Waits that a console control event always ends.
//
// The handler only notes the event. Every wait blocks the control signals,
// looks at the note and only then waits with them unblocked (ppoll), so an
// event that comes just before the wait is seen by the check and one that
// comes during it interrupts it. A flag checked after EINTR alone lost the
// events that came between the check and the blocking call.

#include "waits.hpp"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "descriptors.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"

namespace records {
namespace {

timespec after_milliseconds(int milliseconds) {
  return {milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1'000'000L};
}

// One ppoll on `fd`; the control signals are let through only inside it.
// `timeout` null waits without end. Returns ppoll's result.
int poll_once(int fd, short events, const timespec* timeout, bool interruptible) {
  const ControlSignalsHeld held;
  if (interruptible) throw_if_control_event();
  pollfd watched{fd, events, 0};
  return ::ppoll(&watched, 1, timeout, interruptible ? held.waiting_mask() : nullptr);
}

int open_process_descriptor(pid_t child) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#else
  (void)child;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

void wait_until_ready(int fd, short events) {
  while (poll_once(fd, events, nullptr, true) < 0) {
    // Another signal, or a failure the read or write will meet itself.
    if (errno != EINTR) return;
  }
}

bool wait_until_ready_for(int fd, short events, int milliseconds) {
  const timespec timeout = after_milliseconds(milliseconds);
  for (;;) {
    const int ready = poll_once(fd, events, &timeout, true);
    if (ready >= 0 || errno != EINTR) return ready != 0;
  }
}

bool wait_briefly(int fd, short events, int milliseconds) {
  const timespec timeout = after_milliseconds(milliseconds);
  const int ready = poll_once(fd, events, &timeout, false);
  return ready != 0;
}

void wait_for_child(pid_t child) {
  const FileDescriptor process(open_process_descriptor(child));
  for (;;) {
    try {
      if (process) {
        wait_until_ready(process.get(), POLLIN);
      } else {
        // Without process descriptors: look again every 20 ms.
        const timespec pause_between = after_milliseconds(20);
        if (poll_once(-1, 0, &pause_between, true) < 0 && errno != EINTR) return;
      }
    } catch (const ControlEvent& event) {
      // The command is the user's; it gets the same event and is not awaited.
      ::kill(child, event.signal_number());
      throw;
    }
    int status = 0;
    const pid_t ended = ::waitpid(child, &status, process ? 0 : WNOHANG);
    if (ended == child || (ended < 0 && errno != EINTR)) return;
  }
}

}  // namespace records
