// The progress line: drawn after a carriage return, so that each drawing
// replaces the one before; blanks wipe what a longer one left.

#include "progress.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "records/failures.hpp"

namespace driver {
namespace {

// A count with a comma between thousands: "220,000". Never the locale's.
std::string with_thousands(std::size_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const std::string_view plain(digits, static_cast<std::size_t>(end - digits));
  std::string text;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    if (i > 0 && (plain.size() - i) % 3 == 0) text.push_back(',');
    text.push_back(plain[i]);
  }
  return text;
}

// "0:41", "12:05", "3:00:09".
std::string clock_time(std::chrono::milliseconds elapsed) {
  const auto seconds = static_cast<long long>(elapsed.count() / 1000);
  const auto two_digits = [](long long value) { return std::string(value < 10 ? "0" : "") + std::to_string(value); };
  if (seconds < 3600) return std::to_string(seconds / 60) + ":" + two_digits(seconds % 60);
  return std::to_string(seconds / 3600) + ":" + two_digits(seconds / 60 % 60) + ":" + two_digits(seconds % 60);
}

// Blanks over a line of `length` characters, the cursor back at its start.
std::string erasing(std::size_t length) {
  return "\r" + std::string(length, ' ') + "\r";
}

}  // namespace

std::string progress_text(std::size_t done, std::size_t total, std::size_t failed, std::chrono::milliseconds elapsed) {
  const auto milliseconds = static_cast<std::size_t>(std::max<std::int64_t>(elapsed.count(), 1));
  const std::size_t rate = done * 1000 / milliseconds;
  return with_thousands(done) + "/" + with_thousands(total) + " entries, " + with_thousands(failed) + " failed, " +
         clock_time(elapsed) + ", " + with_thousands(rate) + "/s";
}

Progress::Progress(records::Output* terminal, bool console_on_terminal, std::size_t total)
    : terminal_(terminal),
      console_on_terminal_(console_on_terminal),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      drawn_at_(start_) {}

Progress::~Progress() {
  if (terminal_ == nullptr || shown_ == 0) return;
  // Perhaps on the way out of a failing run already, whose diagnostic
  // follows: written the way that diagnostic is, never stopping for a
  // control event.
  try {
    terminal_->record().text(erasing(shown_));
  } catch (...) {
    return;
  }
  terminal_->flush_quietly();
}

void Progress::update(std::size_t done, std::size_t failed) {
  done_ = done;
  failed_ = failed;
  if (terminal_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_at_ < redraw_interval) return;
  drawn_at_ = now;
  std::string line =
      progress_text(done, total_, failed, std::chrono::duration_cast<std::chrono::milliseconds>(now - start_));
  // Blanks over what is left of a longer line.
  if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
  shown_ = line.size();
  write("\r" + line);
}

void Progress::erase() {
  if (terminal_ == nullptr || shown_ == 0) return;
  write(erasing(shown_));
  shown_ = 0;
}

void Progress::write(const std::string& text) {
  try {
    terminal_->record().text(text).hold();
  } catch (const records::IoError&) {
    // A terminal that takes no more gets no more lines; the run goes on,
    // as it would without them.
    terminal_ = nullptr;
  }
}

}  // namespace driver
