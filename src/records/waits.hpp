// Waits that a console control event always ends: the run never sits in a
// read, a write or a child's run that no key can stop.
#pragma once

#include <sys/types.h>

namespace records {

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or reports an
// error or hang-up, which the read or write that follows then meets. A
// control event that is pending or arrives meanwhile ends the wait with a
// ControlEvent; there is no moment at which one is missed.
void wait_until_ready(int fd, short events);

// The same, for at most `milliseconds`: false when the time ran out first
// (an interrupted wait starts its time again).
bool wait_until_ready_for(int fd, short events, int milliseconds);

// On a way out that is already decided: waits at most `milliseconds`, with
// control events left aside. False when the time ran out.
bool wait_briefly(int fd, short events, int milliseconds);

// Waits until the child process ends. A control event is passed on to the
// child, and then ends the wait with a ControlEvent.
void wait_for_child(pid_t child);

}  // namespace records
