// Console control events: the handler that notes them, and the looks at
// the note. The waits they interrupt are in waits.cpp.

#include "records/control_events.hpp"

#include <pthread.h>

#include <atomic>
#include <csignal>

#include "records/failures.hpp"

namespace records {
namespace {

// Set by the handler, read by whichever thread looks next.
std::atomic<int> pending_event{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

constexpr int control_signal_numbers[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

// A helper thread's signal to let go of its work.
thread_local const std::atomic<bool>* stop_request = nullptr;

extern "C" void note_control_event(int signal_number) {
  pending_event.store(signal_number, std::memory_order_relaxed);
}

sigset_t control_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal_number : control_signal_numbers) sigaddset(&signals, signal_number);
  return signals;
}

}  // namespace

ControlSignalsHeld::ControlSignalsHeld() {
  const sigset_t signals = control_signals();
  pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

ControlSignalsHeld::~ControlSignalsHeld() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void install_control_event_handlers() {
  struct sigaction action {};
  action.sa_handler = note_control_event;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked call must return
  for (const int signal_number : control_signal_numbers) {
    // One ignored when the run starts stays ignored, as whoever started it
    // meant: nohup lets a batch outlive its terminal (SIGHUP), a shell
    // leaves its background jobs deaf to the keyboard (SIGINT, SIGQUIT).
    struct sigaction inherited {};
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
  // A parent may hand down these signals blocked; the waits need them.
  const sigset_t signals = control_signals();
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  // A closed pipe or a file size limit must surface as a write error.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void throw_if_control_event() {
  if (const int event = pending_event.load(std::memory_order_relaxed); event != 0) throw ControlEvent(event);
  if (stop_request != nullptr && stop_request->load(std::memory_order_relaxed)) throw WorkStopped{};
}

int noted_control_event() {
  return pending_event.load(std::memory_order_relaxed);
}

void stop_this_thread_when(const std::atomic<bool>* stop) {
  stop_request = stop;
}

}  // namespace records
