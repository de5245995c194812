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
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "records/control_events.hpp"
#include "records/output.hpp"
#include "records/wakeup.hpp"

namespace driver {

// Does `work(index, turn)` for the indices 0 to count - 1 on helper threads,
// each at most `window` indices beyond the next one handed out, so that at
// most `window` results are held at once besides the one being used.
// `next()` hands the results out in index order. Each thread makes its own
// worker (`make_worker`, on that thread) the first time it needs one.
//
// What the work holds in memory of its output (a report, in records) until
// its turn is limited too: all the work in progress and the results ready
// hold at most `held_budget` bytes together (`weigh` tells what a result
// holds). A work item that needs more waits, through its `Turn`, until
// results taken make room, or until its own index is the next to be
// handed out: then it hands what it holds over to `next()`, piece by
// piece, and goes on holding nothing. So a report far larger than its
// entry never waits whole in memory, and the one whose turn it is never
// waits for room.
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
// every helper lets go of its work at its next look or wait
// (WorkStopped), the threads are joined and the results nobody took are
// dropped.
template <class Result>
class ReadAhead {
 public:
  // One work item's way to hold its output within the budget.
  class Turn final : public records::RecordsHolder {
   public:
    Turn(ReadAhead& ahead, std::size_t index) : ahead_(ahead), index_(index) {}
    // Waits while the budget is spent by others; false when this index is
    // the next to be handed out and the budget has no room: the output is
    // then to be handed over instead.
    bool may_hold(std::size_t bytes) override { return ahead_.may_hold(*this, bytes); }
    // Waits until `next()` has taken `records`; the output then tells what
    // it holds without them (`may_hold`).
    void hand_over(std::string_view records) override { ahead_.hand_over(*this, records); }
    // Whether any of the output went to `next()` already.
    bool handed_over() const { return handed_over_; }

   private:
    friend class ReadAhead;
    ReadAhead& ahead_;
    const std::size_t index_;
    std::size_t held_ = 0;  // bytes counted against the budget
    bool handed_over_ = false;
  };

  using Work = std::function<Result(std::size_t index, Turn& turn)>;

  // Throws std::system_error when not even one thread can be started.
  ReadAhead(std::size_t count, std::size_t threads, std::size_t window, std::size_t held_budget,
            std::function<std::size_t(const Result&)> weigh, std::function<Work()> make_worker)
      : count_(count),
        window_(window),
        wake_for_(std::max<std::size_t>(window / 2, 1)),
        held_budget_(held_budget),
        weigh_(std::move(weigh)),
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
  // here. Waits for it, calling `while_waiting` every `tick_ms` of the wait
  // and `take` with each piece of output its work hands over meanwhile, in
  // order; a control event ends the wait with a ControlEvent, and a failure
  // of `take` ends it too.
  Result next(const std::function<void()>& while_waiting = {}, const std::function<void(std::string_view)>& take = {}) {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        if (piece_) {
          const std::string_view piece = *piece_;
          lock.unlock();
          if (take) take(piece);
          lock.lock();
          piece_.reset();
          lock.unlock();
          room_.notify_all();
          continue;
        }
        Slot& head = slots_[handed_out_ % window_];
        if (head.filled()) {
          Slot taken = std::exchange(head, Slot{});
          ++handed_out_;
          held_ -= taken.held;
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
    std::size_t held = 0;  // bytes it counts against the budget
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
      Turn turn(*this, index);
      try {
        if (!work) work.emplace(make_worker_());
        done.result = std::make_unique<Result>((*work)(index, turn));
        // What the result holds may be more than its work last asked for:
        // that waits for room too, unless it is the next to be taken.
        done.held = weigh_(*done.result);
        may_hold(turn, done.held);
      } catch (...) {
        done.failure = std::current_exception();
      }
      bool awaited = false;
      bool less_held = false;
      {
        const std::lock_guard lock(mutex_);
        // The result's own weight replaces what its work last counted.
        less_held = done.held < turn.held_;
        held_ = held_ - turn.held_ + done.held;
        slots_[index % window_] = std::move(done);
        awaited = waiting_ && enough_ready();
        if (awaited) waiting_ = false;
      }
      if (awaited) wakeup_.ring();
      if (less_held) room_.notify_all();
    }
    // The worker's memory goes on the thread that used it.
    work.reset();
    records::stop_this_thread_when(nullptr);
  }

  bool may_hold(Turn& turn, std::size_t bytes) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (stopping_) throw records::WorkStopped{};
      // Growing within the budget, or holding less than before.
      if (bytes <= turn.held_ || held_ - turn.held_ + bytes <= held_budget_) {
        const bool less = bytes < turn.held_;
        held_ = held_ - turn.held_ + bytes;
        turn.held_ = bytes;
        if (less) {
          lock.unlock();
          room_.notify_all();
        }
        return true;
      }
      if (turn.index_ == handed_out_) return false;
      room_.wait(lock);
    }
  }

  void hand_over(Turn& turn, std::string_view records) {
    std::unique_lock lock(mutex_);
    // Only the next index hands over, so its pieces come one at a time.
    room_.wait(lock, [&] { return stopping_ || (turn.index_ == handed_out_ && !piece_); });
    if (stopping_) throw records::WorkStopped{};
    piece_ = records;
    lock.unlock();
    wakeup_.ring();
    lock.lock();
    room_.wait(lock, [&] { return stopping_ || !piece_; });
    if (stopping_) throw records::WorkStopped{};
    turn.handed_over_ = true;
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
  const std::size_t held_budget_;
  const std::function<std::size_t(const Result&)> weigh_;
  const std::function<Work()> make_worker_;
  records::Wakeup wakeup_;

  std::mutex mutex_;
  std::condition_variable room_;           // a result or a piece was taken, or the work stops
  std::atomic<bool> stopping_ = false;     // also read without the lock, at the helpers' looks
  std::size_t next_index_ = 0;             // the next index to work on
  std::size_t handed_out_ = 0;             // results taken by `next()`
  bool waiting_ = false;                   // `next()` sleeps, for the result of index `handed_out_` and more
  std::size_t held_ = 0;                   // bytes counted against `held_budget_`
  std::optional<std::string_view> piece_;  // handed over by the work of index `handed_out_`, not yet taken
  std::vector<Slot> slots_;                // index % window
  std::vector<std::thread> threads_;
};

}  // namespace driver
