// How a run ends: its last line on standard error and its exit status, when
// a control event and a failure both come. Control events are process-wide
// and sticky, so each run is made in a child of the test.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <new>

#include "driver/driver.hpp"
#include "entries.hpp"
#include "records/control_events.hpp"
#include "support.hpp"
#include "test_doubles.hpp"
#include "working_directory.hpp"

namespace {

using testing_support::FilesInMemory;

// What loading the entry `last.pdb` meets, besides a signal that comes
// while it is loaded.
enum class Meets { nothing, failure, no_memory };

// Files in memory whose entry `last.pdb` is loaded as `signal_number` (0:
// none) arrives and `meets` says.
class SignalWhileLoaded final : public records::FileSource {
 public:
  SignalWhileLoaded(FilesInMemory& files, int signal_number, Meets meets)
      : files_(files), signal_number_(signal_number), meets_(meets) {}
  records::LoadedFile load(const std::string& path, records::FileMemory& memory) override {
    if (path.ends_with("last.pdb")) {
      if (signal_number_ != 0) std::raise(signal_number_);
      if (meets_ == Meets::no_memory) throw std::bad_alloc();
    }
    return files_.load(path, memory);
  }

 private:
  FilesInMemory& files_;
  int signal_number_;
  Meets meets_;
};

TEST(EndingsDeathTest, AControlEventThatArrivedDecidesTheEndingWhateverFailedAfterIt) {
  struct Case {
    std::string_view what;
    int signal_number;
    Meets meets;
    bool keep_going;
    int status;
    std::string_view line;  // standard error's one line, after "extract: ", as a pattern
  };
  const Case cases[] = {
      {"a failure alone", 0, Meets::failure, false, 1, "severe \\(24\\): end-of-file during read, unit 1, file PDB/last.pdb"},
      {"memory alone", 0, Meets::no_memory, false, 1, "severe \\(41\\): insufficient virtual memory"},
      {"SIGTERM, then the last entry fails", SIGTERM, Meets::failure, false, 143, "error \\(200\\): program aborting due to process-TERMINATE event"},
      {"SIGHUP, then the last entry fails", SIGHUP, Meets::failure, false, 129, "error \\(200\\): program aborting due to window-CLOSE event"},
      {"control-C, then memory runs out", SIGINT, Meets::no_memory, false, 130, "error \\(200\\): program aborting due to control-C event"},
      {"SIGTERM, then the last entry fails under -k", SIGTERM, Meets::failure, true, 143, "error \\(200\\): program aborting due to process-TERMINATE event"},
      {"SIGTERM, and nothing fails", SIGTERM, Meets::nothing, false, 143, "error \\(200\\): program aborting due to process-TERMINATE event"},
  };
  for (const Case& c : cases) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir / "source");
    FilesInMemory files;
    auto entry = testing_support::EntryText::with_header();
    entry.add(testing_support::seqres_record('A', 3)).add_chain('A', 1, 3, 1);
    files.add("PDB/first.pdb", entry.text());
    // Cut after its header: the scan for its first chain reads past its end.
    files.add("PDB/last.pdb", c.meets == Meets::failure ? "HEADER\nTITLE\nREMARK   2 RESOLUTION. 2.00\n" : entry.text());
    files.add("Files.ini", "first.pdb\nlast.pdb\n");
    SignalWhileLoaded source(files, c.signal_number, c.meets);
    EXPECT_EXIT(
        {
          records::install_control_event_handlers();
          const testing_support::WorkingDirectory in_scratch(dir.path());
          records::Output console = records::Output::in_memory();
          records::Output errors = records::Output::errors();
          testing_support::TextLines answers("2\nCA\n2\n");
          driver::Settings settings;
          settings.files = &source;
          settings.keep_going = c.keep_going;
          settings.no_pause = c.keep_going;
          std::_Exit(driver::run_to_the_end(console, answers, errors, settings));
        },
        ::testing::ExitedWithCode(c.status), "^extract: " + std::string(c.line) + "\r\n$")
        << c.what;
  }
}

}  // namespace
