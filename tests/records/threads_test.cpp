// The record layer on several threads at once: entries read, unpacked and
// mapped side by side, exports completed on one thread and named on
// another, and the wake-up that a waiting thread can always be pulled out of.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "compressed_data.hpp"
#include "event_in_child.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "records/wakeup.hpp"
#include "support.hpp"
#include "system_call_faults.hpp"
#include "test_doubles.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using records::Input;
using records::Output;
using testing_support::all_records;
using testing_support::gzip;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

// Records "<tag> <n>" for n from 0, `count` of them.
std::string numbered(std::string_view tag, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text.append(tag).append(" ").append(std::to_string(i)).append("\n");
  return text;
}

TEST(RecordsOnThreads, CompressedFilesUnpackSideBySide) {
  TempDir dir;
  constexpr int threads = 8;
  for (int t = 0; t < threads; ++t) {
    write_file(dir / ("e" + std::to_string(t) + ".gz"), gzip(numbered("THREAD" + std::to_string(t), 20'000 + t)));
  }
  std::vector<int> good_rounds(threads, 0);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      Input input(1);
      const std::string expected_last = "THREAD" + std::to_string(t) + " " + std::to_string(20'000 + t - 1);
      for (int round = 0; round < 20; ++round) {
        input.open_old((dir / ("e" + std::to_string(t) + ".gz")).string(), records::Content::unpacked);
        const auto records = all_records(input);
        if (records.size() == static_cast<std::size_t>(20'000 + t) && records.back() == expected_last) {
          ++good_rounds[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (std::thread& thread : running) thread.join();
  EXPECT_EQ(good_rounds, std::vector<int>(threads, 20));
}

TEST(RecordsOnThreads, MappedFilesCutShortOnManyThreadsAtOnceFailAsChanged) {
  // More threads than there are guarded slots for mapped files: those
  // beyond read their file instead. Every one sees its own cut, as a file
  // that changed while read, and none is stopped by the pages cut off.
  constexpr int threads = 72;
  constexpr std::size_t kept = std::size_t{1} << 20;
  TempDir dir;
  std::string text;
  for (int i = 0; text.size() < (std::size_t{3} << 20); ++i) text += "RECORD " + std::to_string(i) + "\n";
  for (int t = 0; t < threads; ++t) write_file(dir / ("large" + std::to_string(t)), text);

  std::barrier opened(threads + 1);
  std::barrier cut(threads + 1);
  std::vector<int> failures(threads, 0);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      Input input(1);
      input.map_from(testing_support::mapped_without_huge_pages);
      input.open_old((dir / ("large" + std::to_string(t))).string());
      (void)input.read_or_fail();
      opened.arrive_and_wait();
      cut.arrive_and_wait();
      try {
        while (input.read()) {
        }
        input.close();
      } catch (const records::IoError& error) {
        failures[static_cast<std::size_t>(t)] = static_cast<int>(error.failure());
      }
    });
  }
  opened.arrive_and_wait();
  for (int t = 0; t < threads; ++t) fs::resize_file(dir / ("large" + std::to_string(t)), kept);
  cut.arrive_and_wait();
  for (std::thread& thread : running) thread.join();
  EXPECT_EQ(failures, std::vector<int>(threads, static_cast<int>(records::Failure::file_changed)));
}

TEST(RecordsOnThreads, ExportsCompletedOnThreadsTakeTheirNamesLaterOrGo) {
  TempDir dir;
  constexpr int threads = 6;
  std::vector<std::unique_ptr<Output>> completed(threads);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      auto out = std::make_unique<Output>(Output::replace(2, (dir / ("e" + std::to_string(t))).string()));
      for (int i = 0; i < 5000; ++i) out->record().text("thread ").I(t, 2).I(i, 6).end();
      out->complete();
      completed[static_cast<std::size_t>(t)] = std::move(out);
    });
  }
  for (std::thread& thread : running) thread.join();
  // Complete, but still under their temporary names: one each, all different.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), threads);
  for (int t = 0; t < threads; ++t) EXPECT_FALSE(fs::exists(dir / ("e" + std::to_string(t))));
  for (int t = 0; t < threads; t += 2) completed[static_cast<std::size_t>(t)]->close();
  completed.clear();
  EXPECT_EQ(testing_support::names_in(dir.path()), (std::vector<std::string>{"e0", "e2", "e4"}))
      << "the others went with their temporaries";
  EXPECT_EQ(read_file(dir / "e4").substr(0, 18), "thread  4     0\r\nt");
}

TEST(RecordsOnThreads, RecordsMadeInMemoryAreWrittenAsIfMadeThere) {
  TempDir dir;
  Output made = Output::in_memory();
  made.record().text(" first").I(12, 4).end();
  made.free_form();
  made.record().text(" last").end();
  Output file = Output::replace(2, (dir / "shown").string());
  file.record().text("before").end();
  file.write_records(made.text());
  file.close();
  EXPECT_EQ(read_file(dir / "shown"), "before\r\n first  12\r\n \r\n last\r\n");
}

TEST(Wakeup, ARingEndsTheWaitAndNoRingLetsTheTimeRunOut) {
  records::Wakeup wakeup;
  EXPECT_FALSE(wakeup.wait(10));
  wakeup.ring();
  wakeup.ring();
  EXPECT_TRUE(wakeup.wait(0));
  EXPECT_FALSE(wakeup.wait(10)) << "two rings before a wait are one";

  const auto started = std::chrono::steady_clock::now();
  std::thread ringer([&] {
    std::this_thread::sleep_for(20ms);
    wakeup.ring();
  });
  EXPECT_TRUE(wakeup.wait(10'000));
  ringer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(Wakeup, NoRoomForOneIsASystemError) {
  // Which the read-ahead takes as no thread to be had.
  for (const int error : {EMFILE, ENFILE, ENOMEM}) {
    testing_support::SystemCallFaults faults({{.call = testing_support::Call::eventfd, .error = error}});
    try {
      records::Wakeup wakeup;
      ADD_FAILURE() << "made without an eventfd, error " << error;
    } catch (const std::system_error& failure) {
      EXPECT_EQ(failure.code().value(), error);
    }
  }
}

// A control event is process-wide and sticky, so these run in a child.
constexpr int acted_on = 42;

TEST(WakeupDeathTest, AControlEventEndsTheWaitFromAnyThread) {
  EXPECT_EXIT(
      {
        records::install_control_event_handlers();
        records::Wakeup wakeup;
        // A helper thread that holds the signals back, and an event sent to
        // the process from outside, as a terminal does: the waiting thread
        // takes it.
        std::atomic<bool> done = false;
        std::thread helper;
        {
          const records::ControlSignalsHeld held;
          helper = std::thread([&] {
            while (!done) std::this_thread::sleep_for(1ms);
          });
        }
        const pid_t waiting = ::getpid();
        if (::fork() == 0) {
          std::this_thread::sleep_for(50ms);
          ::kill(waiting, SIGINT);
          std::_Exit(0);
        }
        int status = 1;
        try {
          wakeup.wait(60'000);
        } catch (const records::ControlEvent& event) {
          status = event.signal_number() == SIGINT ? acted_on : 2;
        }
        done = true;
        helper.join();
        std::_Exit(status);
      },
      ::testing::ExitedWithCode(acted_on), "");
}

TEST(ControlEventsDeathTest, RecordsMadeInMemoryStopAtTheNextRecordsEnd) {
  testing_support::expect_event_acted_on([] {
    Output made = Output::in_memory();
    std::raise(SIGINT);
    made.record().text("the next record").end();
  });
}

}  // namespace
