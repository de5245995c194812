// Read-ahead: work done on helper threads, handed out in list order, never
// further ahead than its window, and let go of at once when the run ends.
// Then the session on top of it: with -j 1 nothing is read before the entry
// before it is committed; with more, entries are read while a pause waits.

#include "read_ahead.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "driver/driver.hpp"
#include "entries.hpp"
#include "file_loop.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "support.hpp"
#include "test_doubles.hpp"
#include "working_directory.hpp"

namespace {

using namespace std::chrono_literals;
using driver::ReadAhead;

// Work that holds no output of its own, made by `make_work` as a function
// of the index alone: the budget plays no part.
template <class Result>
class Plain : public ReadAhead<Result> {
 public:
  template <class MakeWork>
  Plain(std::size_t count, std::size_t threads, std::size_t window, MakeWork make_work)
      : ReadAhead<Result>(
            count, threads, window, SIZE_MAX, [](const Result&) { return std::size_t{0}; },
            [make_work] {
              auto work = make_work();
              return typename ReadAhead<Result>::Work(
                  [work](std::size_t index, typename ReadAhead<Result>::Turn&) mutable { return work(index); });
            }) {}
};

TEST(ReadAhead, HandsOutEveryResultInOrderWhateverTheThreadsTake) {
  struct Case {
    std::size_t count;
    std::size_t threads;
    std::size_t window;
  };
  const Case cases[] = {{0, 2, 3}, {1, 4, 5}, {50, 1, 1}, {50, 2, 3}, {200, 3, 4}, {200, 8, 9}, {7, 8, 2}};
  for (const auto& c : cases) {
    Plain<std::string> ahead(c.count, c.threads, c.window, [] {
      // Each worker its own random delays, so that later indices often
      // finish first.
      auto random = std::make_shared<std::mt19937>(std::random_device{}());
      return [random](std::size_t index) {
        std::this_thread::sleep_for(std::chrono::microseconds((*random)() % 300));
        return "result " + std::to_string(index);
      };
    });
    for (std::size_t i = 0; i < c.count; ++i) {
      ASSERT_EQ(ahead.next(), "result " + std::to_string(i)) << c.count << " by " << c.threads;
    }
  }
}

TEST(ReadAhead, NeverWorksFurtherAheadThanItsWindow) {
  constexpr std::size_t window = 3;
  std::mutex mutex;
  std::size_t started = 0;
  std::size_t furthest_ahead = 0;
  std::size_t taken = 0;
  Plain<std::size_t> ahead(40, 4, window, [&] {
    return [&](std::size_t index) {
      {
        const std::lock_guard lock(mutex);
        ++started;
        furthest_ahead = std::max(furthest_ahead, index - taken);
      }
      std::this_thread::sleep_for(100us);
      return index;
    };
  });
  for (std::size_t i = 0; i < 40; ++i) {
    // A slow taker: the helpers soon wait for room.
    std::this_thread::sleep_for(200us);
    const std::size_t index = ahead.next();
    const std::lock_guard lock(mutex);
    taken = index + 1;
  }
  EXPECT_EQ(started, 40U);
  // Index `taken + window - 1` is the furthest a helper may start once
  // `taken` results were handed out, and `taken` here lags by the result
  // on its way out of `next()`.
  EXPECT_LE(furthest_ahead, window);
  EXPECT_GE(furthest_ahead, 1U) << "the helpers never worked ahead at all";
}

TEST(ReadAhead, AFailureThatEscapesItsWorkIsThrownAtItsTurn) {
  Plain<int> ahead(5, 2, 3, [] {
    return [](std::size_t index) -> int {
      if (index == 3) throw std::runtime_error("index 3 failed");
      return static_cast<int>(index);
    };
  });
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ahead.next(), i);
  EXPECT_THROW(ahead.next(), std::runtime_error);
  EXPECT_EQ(ahead.next(), 4);
}

TEST(ReadAhead, GoingAwayStopsWorkInTheMiddleAtItsNextLook) {
  // Work that would take a minute, looking for control events as the
  // record layer does at every record: it ends at once when nobody needs it.
  std::atomic<int> working = 0;
  std::atomic<int> stopped = 0;
  const auto started = std::chrono::steady_clock::now();
  {
    Plain<int> ahead(100, 4, 5, [&] {
      return [&](std::size_t) -> int {
        ++working;
        const auto until = std::chrono::steady_clock::now() + 60s;
        try {
          while (std::chrono::steady_clock::now() < until) {
            records::throw_if_control_event();
            std::this_thread::sleep_for(1ms);
          }
        } catch (const records::WorkStopped&) {
          ++stopped;
          throw;
        }
        return 0;
      };
    });
    while (working < 4 && std::chrono::steady_clock::now() < started + 10s) std::this_thread::sleep_for(1ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(stopped.load(), 4) << "each helper let go of the work it had";
  // This thread never helped: its looks stay as they were.
  EXPECT_NO_THROW(records::throw_if_control_event());
}

TEST(ReadAhead, HelpersHoldTheControlSignalsBack) {
  // Else an event that came while the waiting thread held them back for its
  // look at the note would be taken by a helper, and the wait that follows
  // would never end.
  Plain<bool> ahead(6, 3, 6, [] {
    return [](std::size_t) {
      sigset_t mask;
      pthread_sigmask(SIG_BLOCK, nullptr, &mask);
      return sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGQUIT) == 1 && sigismember(&mask, SIGHUP) == 1;
    };
  });
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(ahead.next()) << i;
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_EQ(sigismember(&mask, SIGINT), 0) << "the thread that started them still takes them";
}

TEST(ReadAhead, WhileWaitingIsCalledAsTheWaitGoesOnAndNoMoreOften) {
  // The work ends once the wait has been told of twice (or, when it never
  // is, after ten seconds): a count that holds on a loaded machine too.
  std::atomic<int> ticks = 0;
  Plain<int> ahead(1, 1, 2, [&ticks] {
    return [&ticks](std::size_t) {
      const auto until = std::chrono::steady_clock::now() + 10s;
      while (ticks < 2 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
      return 7;
    };
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ahead.next([&] { ++ticks; }), 7);
  const auto waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(ticks, 2);
  // Each call comes after a whole tick of waiting, however slow the machine.
  EXPECT_LE(ticks, 1 + waited / ReadAhead<int>::tick_ms);
}

// The output of index `index`: `records` numbered lines of `width` bytes.
std::string output_of(std::size_t index, std::size_t records, std::size_t width) {
  std::string text;
  for (std::size_t k = 0; k < records; ++k) {
    std::string line = "index " + std::to_string(index) + " record " + std::to_string(k) + " ";
    line.resize(width - 2, '.');
    text += line + "\r\n";
  }
  return text;
}

TEST(ReadAhead, OutputPastTheBudgetWaitsForRoomOrItsTurnAndComesWholeInOrder) {
  constexpr std::size_t step = records::Output::holding_step;
  struct Case {
    std::size_t count;
    std::size_t threads;
    std::size_t window;
    std::size_t budget;
    std::size_t records;  // of 100 bytes, by each index
  };
  const Case cases[] = {
      {12, 3, 6, 0, 3000},             // nothing may wait: every output goes at its turn
      {12, 3, 6, 4 * step, 3000},      // some wait for room, the head hands over
      {30, 4, 8, 1000 * step, 3000},   // all of it fits
      {40, 2, 4, 2 * step, 50},        // small outputs, much room
      {20, 4, 4, 3 * step, 5 * 1000},  // outputs larger than the budget
  };
  for (const Case& c : cases) {
    // The bytes of output every index holds in memory at each moment:
    // while its work makes it, and as its result until taken.
    std::mutex mutex;
    std::vector<std::size_t> held(c.count);
    std::size_t most_held = 0;
    const auto hold = [&](std::size_t index, std::size_t bytes) {
      const std::lock_guard lock(mutex);
      held[index] = bytes;
      std::size_t all = 0;
      for (const std::size_t h : held) all += h;
      most_held = std::max(most_held, all);
    };
    ReadAhead<std::string> ahead(
        c.count, c.threads, c.window, c.budget, [](const std::string& text) { return text.size(); },
        [&] {
          return [&](std::size_t index, ReadAhead<std::string>::Turn& turn) {
            // Told before the read-ahead counts it, when the output lets go
            // of what it handed over.
            struct Tracked final : records::RecordsHolder {
              Tracked(ReadAhead<std::string>::Turn& t, std::function<void(std::size_t)> h)
                  : turn(t), hold(std::move(h)) {}
              bool may_hold(std::size_t bytes) override {
                if (bytes == 0) hold(0);
                return turn.may_hold(bytes);
              }
              void hand_over(std::string_view records) override { turn.hand_over(records); }
              ReadAhead<std::string>::Turn& turn;
              std::function<void(std::size_t)> hold;
            } tracked(turn, [&, index](std::size_t bytes) { hold(index, bytes); });
            records::Output out = records::Output::in_memory(tracked);
            const std::string all = output_of(index, c.records, 100);
            for (std::size_t k = 0; k < c.records; ++k) {
              out.record().text(std::string_view(all).substr(k * 100, 98)).end();
              hold(index, out.text().size());
            }
            return out.text();
          };
        });
    for (std::size_t i = 0; i < c.count; ++i) {
      std::string shown;
      const std::string rest = ahead.next({}, [&](std::string_view piece) { shown += piece; });
      hold(i, 0);
      shown += rest;
      ASSERT_EQ(shown, output_of(i, c.records, 100)) << "index " << i << ", budget " << c.budget;
    }
    // Each work asks for room every step, a record more may come first,
    // and the next to be taken never waits.
    EXPECT_LE(most_held, c.budget + (c.threads + 1) * (step + 100)) << "budget " << c.budget;
  }
}

TEST(ReadAhead, GoingAwayEndsWorkThatWaitsForRoomOrForItsPieceToBeTaken) {
  std::atomic<int> stopped = 0;
  const auto started = std::chrono::steady_clock::now();
  {
    // No budget: the first index hands its output over and waits for it
    // to be taken, which never happens; the others wait for room.
    ReadAhead<int> ahead(
        8, 4, 8, 0, [](int) { return std::size_t{0}; },
        [&] {
          return [&](std::size_t, ReadAhead<int>::Turn& turn) -> int {
            try {
              records::Output out = records::Output::in_memory(turn);
              for (;;) out.record().text(std::string(100, 'x')).end();
            } catch (const records::WorkStopped&) {
              ++stopped;
              throw;
            }
          };
        });
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(stopped.load(), 4) << "each helper let go of the work it had";
}

// The files of a session, in memory, and which were asked for and when.
class WatchedFiles final : public records::FileSource {
 public:
  void add(std::string path, std::string content) { files_.add(std::move(path), std::move(content)); }
  records::LoadedFile load(const std::string& path, records::FileMemory& memory) override {
    {
      const std::lock_guard lock(mutex_);
      loaded_.push_back(path);
    }
    return files_.load(path, memory);
  }
  std::vector<std::string> loaded() const {
    const std::lock_guard lock(mutex_);
    return loaded_;
  }

 private:
  testing_support::FilesInMemory files_;
  mutable std::mutex mutex_;
  std::vector<std::string> loaded_;
};

// What a command run at the first pause sees: the entries loaded by then,
// and the names in source/.
struct AtFirstPause {
  std::vector<std::string> loaded;
  std::vector<std::string> in_source;
};

// A session over Files.ini listing `count` entries e0.pdb..., the first
// of which has no helix and pauses; at that pause one command runs, which
// sees what was loaded by then (waiting up to a few seconds for `enough`).
AtFirstPause at_first_pause(unsigned jobs, std::size_t enough, int count) {
  WatchedFiles files;
  std::string list;
  for (int i = 0; i < count; ++i) {
    auto entry = testing_support::EntryText::with_header();
    if (i > 0) entry.add(testing_support::helix_record('A', 1, 2));
    entry.add_chain('A', 1, 3, 1);
    files.add("PDB/e" + std::to_string(i) + ".pdb", entry.text());
    list += "e" + std::to_string(i) + ".pdb\n";
  }
  files.add("Files.ini", list);

  testing_support::TempDir dir;
  std::filesystem::create_directories(dir / "source");
  const testing_support::WorkingDirectory in_scratch(dir.path());
  AtFirstPause seen;
  records::Output console = records::Output::in_memory();
  testing_support::TextLines answers("2\nCA\n1\nlook\n\n");
  driver::Settings settings;
  settings.files = &files;
  settings.jobs = jobs;
  settings.run_command = [&](const std::string&) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (files.loaded().size() < enough && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(1ms);
    }
    // A moment more: whatever else would be read is read now.
    std::this_thread::sleep_for(20ms);
    seen.loaded = files.loaded();
    seen.in_source = testing_support::names_in(dir / "source");
    return 0;
  };
  driver::EXTRACT(console, answers, settings);
  EXPECT_EQ(files.loaded().size(), 1U + count);
  return seen;
}

TEST(ReadAheadSessions, OneJobReadsNothingBeforeThePauseOfTheEntryBefore) {
  EXPECT_EQ(at_first_pause(1, 2, 9).loaded, (std::vector<std::string>{"Files.ini", "PDB/e0.pdb"}));
}

TEST(ReadAheadSessions, MoreJobsReadAheadWhileAPauseWaitsAndLeaveNothingInSourceBeforeTheirTurn) {
  // Two threads: while e0 is committed and pauses, the window after it is
  // read, and the entry after that waits for room.
  const std::size_t window = 2 * driver::window_per_thread;
  auto seen = at_first_pause(2, 2 + window, static_cast<int>(window) + 4);
  ASSERT_GE(seen.loaded.size(), 1U);
  // The threads start together: e1 may well be asked for before e0.
  std::sort(seen.loaded.begin() + 1, seen.loaded.end(), [](const std::string& a, const std::string& b) {
    return std::make_pair(a.size(), a) < std::make_pair(b.size(), b);
  });
  std::vector<std::string> expected = {"Files.ini"};
  for (std::size_t i = 0; i <= window; ++i) expected.push_back("PDB/e" + std::to_string(i) + ".pdb");
  EXPECT_EQ(seen.loaded, expected);
  // Their exports are written, without a name: only the committing thread
  // puts anything into source/, in list order.
  EXPECT_EQ(seen.in_source, std::vector<std::string>{});
}

}  // namespace
