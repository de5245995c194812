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

namespace records {

void install_control_event_handlers();
// Throws the ControlEvent of a noted event.
void throw_if_control_event();

}  // namespace records
