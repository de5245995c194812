// Work on the entries of the list done ahead on helper threads, and handed
// to the thread that runs the session in list order.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "records/control_events.hpp"
#include "records/wakeup.hpp"

namespace driver {

// Does `work(index)` for the indices 0 to count - 1 on helper threads, each
// at most `window` indices beyond the next one handed out, so that at most
// `window` results are held at once besides the one being used. `next()`
// hands the results out in index order. Each thread makes its own worker
// (`make_worker`, on that thread) the first time it needs one.
//
// A `next()` that finds its result not ready sleeps until half the window
// is ready from there on (or the rest of the indices): it then takes them
// one after another without sleeping, while the helpers go on with the
// other half. Woken for every result, the waiting thread cost two context
// switches per entry, a tenth of the CPU time of a batch of small entries.
//
// The helper threads keep the console control signals held back: an event
// reaches the waiting thread, whose `next()` then ends with it, and the
// helpers see the noted event at their next look. Once the object goes,
// every helper lets go of its work at its next look (WorkStopped), the
// threads are joined and the results nobody took are dropped.
template <class Result>
class ReadAhead {
 public:
  using Work = std::function<Result(std::size_t index)>;

  // Throws std::system_error when not even one thread can be started.
  ReadAhead(std::size_t count, std::size_t threads, std::size_t window, std::function<Work()> make_worker)
      : count_(count),
        window_(window),
        wake_for_(std::max<std::size_t>(window / 2, 1)),
        make_worker_(std::move(make_worker)),
        slots_(window) {
    const records::ControlSignalsHeld held;
    try {
      for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { run_helper(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked for still do all the work.
      if (threads_.empty()) throw;
    }
  }

  ~ReadAhead() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    room_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The result of the next index; a failure that escaped its work is thrown
  // here. Waits for it, calling `while_waiting` every `tick_ms` of the wait;
  // a control event ends the wait with a ControlEvent.
  Result next(const std::function<void()>& while_waiting = {}) {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        Slot& head = slots_[handed_out_ % window_];
        if (head.filled()) {
          Slot taken = std::exchange(head, Slot{});
          ++handed_out_;
          waiting_ = false;
          lock.unlock();
          room_.notify_all();
          if (taken.failure) std::rethrow_exception(taken.failure);
          return std::move(*taken.result);
        }
        waiting_ = true;
      }
      if (!wakeup_.wait(tick_ms) && while_waiting) while_waiting();
    }
  }

  static constexpr int tick_ms = 100;

 private:
  struct Slot {
    std::unique_ptr<Result> result;
    std::exception_ptr failure;
    bool filled() const { return result != nullptr || failure != nullptr; }
  };

  void run_helper() {
    records::stop_this_thread_when(&stopping_);
    std::optional<Work> work;
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return stopping_ || next_index_ >= count_ || next_index_ < handed_out_ + window_; });
        if (stopping_ || next_index_ >= count_) break;
        index = next_index_++;
      }
      Slot done;
      try {
        if (!work) work.emplace(make_worker_());
        done.result = std::make_unique<Result>((*work)(index));
      } catch (...) {
        done.failure = std::current_exception();
      }
      bool awaited = false;
      {
        const std::lock_guard lock(mutex_);
        slots_[index % window_] = std::move(done);
        awaited = waiting_ && enough_ready();
        if (awaited) waiting_ = false;
      }
      if (awaited) wakeup_.ring();
    }
    // The worker's memory goes on the thread that used it.
    work.reset();
    records::stop_this_thread_when(nullptr);
  }

  // Under the lock: whether the results ready from `handed_out_` on are
  // worth waking the waiting thread for.
  bool enough_ready() const {
    std::size_t ready = 0;
    while (ready < wake_for_ && slots_[(handed_out_ + ready) % window_].filled()) ++ready;
    return ready == wake_for_ || handed_out_ + ready == count_;
  }

  const std::size_t count_;
  const std::size_t window_;
  const std::size_t wake_for_;  // results ready that wake the waiting thread
  const std::function<Work()> make_worker_;
  records::Wakeup wakeup_;

  std::mutex mutex_;
  std::condition_variable room_;        // a result was taken, or the work stops
  std::atomic<bool> stopping_ = false;  // also read without the lock, at the helpers' looks
  std::size_t next_index_ = 0;          // the next index to work on
  std::size_t handed_out_ = 0;          // results taken by `next()`
  bool waiting_ = false;                // `next()` sleeps, for the result of index `handed_out_` and more
  std::vector<Slot> slots_;             // index % window
  std::vector<std::thread> threads_;
};

}  // namespace driver
