// Console control events: control-C (SIGINT), control-BREAK (SIGQUIT) and
// window-CLOSE (SIGHUP), and the request to end that `timeout`, batch
// schedulers and service managers send (SIGTERM). A handler only notes the
// event; it becomes a ControlEvent at the next check, or at once in any wait,
// so that output is flushed and temporaries are removed on the way out as on
// every other exit. The note is a lock-free atomic: any thread may look.
//
// Every long step looks between pieces of work small enough that an event
// waits at most a few milliseconds: records written, pieces of a file read
// or unpacked, windows of an entry scanned.
#pragma once

#include <signal.h>

#include <atomic>

namespace records {

// A control signal that the run was started with ignored (nohup, a
// shell's background job, trap '') is left ignored: it is no event.
void install_control_event_handlers();
// Throws the ControlEvent of a noted event; on a thread whose work the run
// no longer needs (`stop_this_thread_when`), throws WorkStopped. Any thread
// may look.
void throw_if_control_event();
// The signal number of the event noted so far, 0 for none. An event stays
// noted: a run that met a failure after it still ends as the event.
int noted_control_event();

// Holds the control signals back from the calling thread for its lifetime.
// A thread started meanwhile keeps them held back for good: the events then
// always reach the thread that waits for the console, whose waits let them
// through (`waiting_mask`), and never a helper thread that would only note
// them.
class ControlSignalsHeld {
 public:
  ControlSignalsHeld();
  ~ControlSignalsHeld();
  ControlSignalsHeld(const ControlSignalsHeld&) = delete;
  ControlSignalsHeld& operator=(const ControlSignalsHeld&) = delete;

  // The mask from before, for a wait that lets the signals through.
  const sigset_t* waiting_mask() const { return &previous_; }

 private:
  sigset_t previous_{};
};

// Thrown at a look for control events on a helper thread once `stop` is set.
struct WorkStopped {};
// From now on the calling thread's looks for control events also look at
// `stop` (null: no longer), so that work the run has given up ends as soon
// as it would for a control event.
void stop_this_thread_when(const std::atomic<bool>* stop);

}  // namespace records
