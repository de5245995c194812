// Console control events: control-C (SIGINT), control-BREAK (SIGQUIT) and
// window-CLOSE (SIGHUP). A handler only notes the event; it becomes a
// ControlEvent at the next check, or at once in any wait, so that output is
// flushed and temporaries are removed on the way out as on every other exit.
#pragma once

namespace records {

void install_control_event_handlers();
// Throws the ControlEvent of a noted event.
void throw_if_control_event();

}  // namespace records
