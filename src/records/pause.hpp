// The pause: the run waits until the user enters an empty line, and runs
// every other line as a command.
#pragma once

#include <functional>
#include <string>

#include "records/console.hpp"
#include "records/output.hpp"

namespace records {

// Runs a command line through the operating system's command processor and
// waits for it. Returns 0, or the system's error number when the command
// could not be started at all.
using CommandRunner = std::function<int(const std::string& command)>;
int run_shell_command(const std::string& command);

// Shows the pause prompt and waits for an empty line; any other line is run
// as a command, then the prompt is shown again.
void pause(Output& console, LineSource& console_in, const CommandRunner& run = run_shell_command);
// The pause of a run that must not wait: the prompt, then on at once, as if
// an empty line had been typed.
void pause_without_waiting(Output& console);

}  // namespace records
