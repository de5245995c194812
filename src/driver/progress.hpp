// The progress line of a long run: one line on a terminal's standard error,
// redrawn in place, never in a file.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "records/output.hpp"

namespace driver {

// "1,234/220,000 entries, 7 failed, 0:41, 30/s": entries done of all,
// entries failed, the time since the start, entries done per second.
std::string progress_text(std::size_t done, std::size_t total, std::size_t failed, std::chrono::milliseconds elapsed);

class Progress {
 public:
  // Drawn on `terminal` when it is given; `console_on_terminal`: the
  // console's lines go to a terminal too, and the line makes way for them.
  Progress(records::Output* terminal, bool console_on_terminal, std::size_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // An entry was committed: the line is redrawn when the last drawing is at
  // least a tenth of a second old.
  void update(std::size_t done, std::size_t failed);
  // The same counts, a moment later.
  void tick() { update(done_, failed_); }
  // Before console output: gone if the console shares the terminal.
  void before_console_output() {
    if (console_on_terminal_) erase();
  }
  // Before anything else reaches the terminal: a diagnostic, a command.
  void erase();

  static constexpr std::chrono::milliseconds redraw_interval{100};

 private:
  void write(const std::string& text);

  records::Output* terminal_;
  bool console_on_terminal_;
  std::size_t total_;
  std::size_t done_ = 0;
  std::size_t failed_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point drawn_at_;
  std::size_t shown_ = 0;  // characters of the line on the terminal now
};

}  // namespace driver
