// A wake-up call between threads that a control event always cuts short:
// helper threads ring it, the thread that runs the dialogue waits for it.
#pragma once

namespace records {

class Wakeup {
 public:
  // Throws std::system_error when the system has no room for one.
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  // From any thread; never blocks.
  void ring() noexcept;
  // Waits until it was rung since the last wait, at most `milliseconds`;
  // false when the time ran out. A control event, pending or arriving,
  // ends the wait with a ControlEvent.
  bool wait(int milliseconds);

 private:
  int fd_;
};

}  // namespace records
