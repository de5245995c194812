// Connections: records in and out, the failures that end a run, the pause.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "event_in_child.hpp"
#include "records/console.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "records/pause.hpp"
#include "run_tool.hpp"
#include "support.hpp"
#include "system_call_faults.hpp"
#include "test_doubles.hpp"

namespace {

using records::Failure;
using records::Input;
using records::IoError;
using records::Output;
using testing_support::all_records;
using testing_support::Call;
using testing_support::Fault;
using testing_support::names_in;
using testing_support::SystemCallFaults;
using testing_support::TempDir;

// An input connection with one file held in memory.
struct InputOnText {
  explicit InputOnText(std::string_view text, std::string name = "test") {
    files.add(name, std::string(text));
    input.open_old(name);
  }
  testing_support::FilesInMemory files;
  Input input{1, files};
};

TEST(InputRecords, EndAtLineFeedWithoutTheCarriageReturnBeforeIt) {
  struct Case {
    std::string_view text;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {"", {}},
      {"a\n", {"a"}},
      {"a\r\nb\n\nc", {"a", "b", "", "c"}},
      {"a\rb\r\n", {"a\rb"}},
      {"\n\n", {"", ""}},
      {std::string_view("x\0y\n", 4), {std::string("x\0y", 3)}},
  };
  for (const auto& c : cases) {
    InputOnText on(c.text);
    EXPECT_EQ(all_records(on.input), c.records) << '"' << c.text << '"';
  }
}

TEST(InputRecords, RecordsOfAboutEightyColumnsEndWhereTheirFirstLineFeedIs) {
  // Lines of 80 columns are looked for first at column 81: every line feed
  // before it, at every place, still ends the record there.
  const auto line = [](std::size_t length, char fill) { return std::string(length, fill); };
  for (const std::string_view end : {"\n", "\r\n"}) {
    // The line end of the record after a short one where that of a record
    // of 80 columns would be.
    std::vector<std::vector<std::string>> lists;
    for (const std::size_t length : {0, 1, 15, 16, 17, 40, 63, 64, 65, 77, 78}) {
      const std::size_t next = 80 - end.size() - length;
      lists.push_back({line(length, 'a'), line(next, 'c'), line(80, 'b'), line(length, 'd'), line(80, 'e')});
    }
    for (const std::size_t length : {79, 80, 81, 82, 160}) lists.push_back({line(length, 'a'), line(80, 'b')});
    // A carriage return of the record's own in column 80.
    lists.push_back({line(79, 'a') + "\r", line(80, 'b'), line(79, 'c') + "\r"});
    for (const auto& records : lists) {
      std::string text;
      std::vector<std::string> expected;
      for (const std::string& record : records) {
        text.append(record).append(end);
        // One carriage return before the line feed is the line end's.
        const bool own_return_taken = end == "\n" && record.ends_with('\r');
        expected.push_back(own_return_taken ? record.substr(0, record.size() - 1) : record);
      }
      InputOnText on(text + text);
      std::vector<std::string> twice = expected;
      twice.insert(twice.end(), expected.begin(), expected.end());
      EXPECT_EQ(all_records(on.input), twice) << records.front().size() << " columns first, end " << end.size();
    }
  }
}

TEST(InputRecords, RewindStartsAgainAndTheEndIsFatalWithoutStatus) {
  InputOnText on("one\ntwo\n", "PDB/1abc.pdb");
  Input& input = on.input;
  EXPECT_EQ(input.read_or_fail(), "one");
  input.rewind();
  EXPECT_EQ(all_records(input), (std::vector<std::string>{"one", "two"}));
  try {
    input.read_or_fail();
    FAIL() << "read past the end";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "extract: severe (24): end-of-file during read, unit 1, file PDB/1abc.pdb");
  }
}

TEST(InputFiles, OpenOldReadsTheFileOrNamesTheFailure) {
  TempDir dir;
  testing_support::write_file(dir / "entry.pdb", "HEADER\r\nTITLE\r\n");
  Input input(1);
  input.open_old((dir / "entry.pdb").string());
  EXPECT_EQ(all_records(input), (std::vector<std::string>{"HEADER", "TITLE"}));

  const auto failure_opening = [&](const std::string& path) {
    try {
      input.open_old(path);
    } catch (const IoError& error) {
      EXPECT_EQ(error.unit(), 1);
      EXPECT_EQ(error.file(), path);
      return error.failure();
    }
    return Failure::out_of_memory;
  };
  EXPECT_EQ(failure_opening((dir / "missing.pdb").string()), Failure::file_not_found);
  EXPECT_EQ(failure_opening(dir.path().string() + "/"), Failure::open_failure);
  EXPECT_EQ(failure_opening((dir / "entry.pdb" / "x").string()), Failure::open_failure);
}

TEST(InputFiles, AFileReadInPiecesGivesTheRecordsOfTheWholeFile) {
  // A file is read in pieces of 64 KiB, 64 KiB, 128 KiB, 256 KiB, ... so a
  // piece ends at each of these offsets. Each text puts a line end, and the
  // key after it, across every piece's end at a shift of its own.
  constexpr std::size_t ends[] = {64 << 10, 128 << 10, 256 << 10, 512 << 10};
  for (std::size_t shift = 0; shift < 7; ++shift) {
    std::string text;
    for (const std::size_t end : ends) {
      const std::size_t line_end = end - shift;
      while (text.size() + 81 < line_end) text += std::string(80, 'x') + "\n";
      text += std::string(line_end - text.size(), 'y') + "\nKEY " + std::string(shift, 'k') + "\n";
    }
    text += "last record without a line end";
    TempDir dir;
    testing_support::write_file(dir / "pieces", text);
    testing_support::FilesInMemory whole;
    whole.add("pieces", text);
    Input from_disk(1);
    Input from_memory(1, whole);
    from_disk.open_old((dir / "pieces").string());
    from_memory.open_old("pieces");
    EXPECT_EQ(all_records(from_disk), all_records(from_memory)) << "shift " << shift;

    from_disk.open_old((dir / "pieces").string());
    from_memory.open_old("pieces");
    for (int hop = 0; hop < 5; ++hop) {
      from_disk.skip_to("KEY ");
      from_memory.skip_to("KEY ");
      EXPECT_EQ(from_disk.read(), from_memory.read()) << "shift " << shift << ", key " << hop;
    }
  }
}

TEST(InputFiles, AFileIsMappedFromTheSizeSetAndReadBelowIt) {
  TempDir dir;
  const auto path = dir / "three-mib.pdb";
  const std::size_t size = std::size_t{3} << 20;
  testing_support::write_file(path, std::string(size - 1, 'A') + "\n");
  for (const std::size_t from : {size, size + 1}) {
    Input input(1);
    input.map_from(from);
    input.open_old(path.string());
    EXPECT_EQ(testing_support::has_mapped(::getpid(), "three-mib.pdb"), from <= size) << from;
    EXPECT_EQ(input.read_or_fail().size(), size - 1) << from;
  }
}

TEST(InputFiles, ALargeFileCutShortWhileReadFailsAsChanged) {
  TempDir dir;
  const auto path = dir / "large.pdb";
  std::string text;
  for (int i = 0; text.size() < (std::size_t{6} << 20); ++i) text += "RECORD " + std::to_string(i) + "\n";
  testing_support::write_file(path, text);
  Input input(1);
  input.map_from(testing_support::mapped_without_huge_pages);
  input.open_old(path.string());
  EXPECT_EQ(input.read_or_fail(), "RECORD 0");
  // Another program cuts the file while it is read (mapped, being this
  // large): what is left of it reads as before, the rest is gone without a
  // crash, and the file fails as changed, never as a shorter entry.
  constexpr std::size_t kept = std::size_t{1} << 20;
  std::filesystem::resize_file(path, kept);
  std::size_t read = 9;
  try {
    while (const auto record = input.read()) {
      if (read + record->size() + 1 <= kept) {
        ASSERT_TRUE(record->starts_with("RECORD ")) << *record;
      }
      read += record->size() + 1;
    }
    input.close();
    FAIL() << "the cut went unnoticed";
  } catch (const IoError& error) {
    EXPECT_EQ(error.failure(), Failure::file_changed);
  }
  EXPECT_LE(read, kept + (std::size_t{2} << 20)) << "the zeros after the cut are not read to the end";
}

TEST(Diagnostics, OneLineWithNumberMessageUnitAndFile) {
  struct Case {
    IoError error;
    std::string_view line;
  };
  const Case cases[] = {
      {IoError(Failure::file_not_found, 1, "Files.ini"),
       "extract: severe (29): file not found, unit 1, file Files.ini"},
      {IoError(Failure::open_failure, 2, "source/1abc.bck"),
       "extract: severe (30): open failure, unit 2, file source/1abc.bck"},
      {IoError(Failure::permission_denied, 3, "goodfiles.txt"),
       "extract: severe (9): permission to access file denied, unit 3, file goodfiles.txt"},
      {IoError(Failure::input_conversion, 1, "PDB/x.pdb"),
       "extract: severe (64): input conversion error, unit 1, file PDB/x.pdb"},
      {IoError(Failure::list_directed_syntax, 5, "stdin"),
       "extract: severe (59): list-directed I/O syntax error, unit 5, file stdin"},
      {IoError(Failure::write_error, 6, "stdout"), "extract: severe (38): error during write, unit 6, file stdout"},
      {IoError(Failure::out_of_memory), "extract: severe (41): insufficient virtual memory"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error.what(), c.line);

  EXPECT_STREQ(records::ControlEvent(SIGINT).what(), "extract: error (200): program aborting due to control-C event");
  EXPECT_STREQ(records::ControlEvent(SIGQUIT).what(),
               "extract: error (200): program aborting due to control-BREAK event");
  EXPECT_STREQ(records::ControlEvent(SIGHUP).what(),
               "extract: error (200): program aborting due to window-CLOSE event");
}

TEST(OutputRecords, EndInCarriageReturnLineFeedAndPromptsKeepTheLineOpen) {
  Output out = Output::in_memory();
  out.record().text(" Value: ").I(7, 3).F(1.5F, 6, 2).A("x", 3).end();
  out.free_form();
  out.free_form("1abc.bck    ");
  out.record().text(" Please choose your option now : ").hold();
  out.free_form();
  out.record().text(" Opening Files.ini... -> ").hold();
  out.record().I(3, 10).text(" files to process").end();
  EXPECT_EQ(out.text(),
            " Value:   7  1.50  x\r\n"
            " \r\n"
            " 1abc.bck    \r\n"
            " Please choose your option now :  \r\n"
            " Opening Files.ini... ->          3 files to process\r\n");
}

// A replacement takes the name only when closed: until then a named one is
// a temporary beside the file, and an unnamed one is not in the directory.
TEST(OutputFiles, AReplacementTakesTheNameOnlyWhenClosedAndAnUnnamedOneIsUnseenTillThen) {
  for (const records::Temporary temporary : {records::Temporary::named, records::Temporary::unnamed}) {
    const bool named = temporary == records::Temporary::named;
    TempDir dir;
    const auto path = (dir / "out.txt").string();
    testing_support::write_file(path, "old content that must go\n");
    // Closed, then dropped whole by unwinding past it (a failure elsewhere).
    for (const bool closed : {true, false}) {
      {
        Output out =
            named ? Output::replace(2, path)
                  : Output::replace_beneath(2, dir.path().string(), "out.txt", Output::Directories::there, temporary);
        out.record().text(closed ? "first" : "dropped").end();
        named ? out.flush() : out.complete();
        if (closed) {
          const std::vector<std::string> names = names_in(dir.path());
          EXPECT_EQ(names.size(), named ? 2U : 1U) << "a temporary beside it only when named";
          EXPECT_EQ(names.back(), "out.txt");
          EXPECT_EQ(testing_support::read_file(path), "old content that must go\n") << "still the old file";
          out.close();
        }
      }
      EXPECT_EQ(testing_support::read_file(path), "first\r\n") << named;
      EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.txt"}) << named;
    }
    if (!named) {
      // Made as a named one is: its permissions those of a new file.
      Output::replace(2, (dir / "named.txt").string()).close();
      EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::status(dir / "named.txt").permissions());
    }
  }
}

TEST(OutputFiles, ALinkAtTheNameIsReplacedNotWrittenThrough) {
  TempDir dir;
  testing_support::write_file(dir / "elsewhere.txt", "not to be touched\n");
  std::filesystem::create_symlink(dir / "elsewhere.txt", dir / "out.txt");
  Output out = Output::replace(2, (dir / "out.txt").string());
  out.record().text("new").end();
  out.close();
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "out.txt"));
  EXPECT_EQ(testing_support::read_file(dir / "out.txt"), "new\r\n");
  EXPECT_EQ(testing_support::read_file(dir / "elsewhere.txt"), "not to be touched\n");
}

TEST(OutputFiles, ADirectoryThatIsMissingOrAFileIsAnOpenFailure) {
  TempDir dir;
  testing_support::write_file(dir / "source", "a file where the directory should be");
  // A directory at the name itself is told when the file would take it.
  for (const auto& path :
       {(dir / "missing" / "x.bck").string(), (dir / "source" / "x.bck").string(), dir.path().string()}) {
    try {
      Output::replace(2, path).close();
      ADD_FAILURE() << path;
    } catch (const IoError& error) {
      EXPECT_EQ(error.failure(), Failure::open_failure) << path;
      EXPECT_EQ(error.message(), "open failure, unit 2, file " + path);
    }
  }
}

TEST(ControlEventsDeathTest, AnEventIsActedOnAtTheNextRecordsEnd) {
  TempDir dir;
  testing_support::expect_event_acted_on([&] {
    Output file = Output::replace(2, (dir / "out.txt").string());
    std::raise(SIGINT);
    file.record().text("the next record").end();
  });
}

// The child of a death test ends with this status when it saw what it should.
constexpr int acted_on = 42;

// The descriptors the process has open.
std::ptrdiff_t open_descriptors() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

TEST(StandardDescriptorsDeathTest, OnlyAClosedOneIsOpenedOnTheNullDevice) {
  struct Case {
    std::string_view what;
    bool closed;                    // standard error closed before the look
    std::vector<Fault> in_the_way;  // of the look at it
    bool on_null;                   // standard error on the null device after it
  };
  const Case cases[] = {
      {"closed", true, {}, true},
      {"open", false, {}, false},
      {"open, but the look fails", false, {{.call = Call::fstat, .fd = STDERR_FILENO, .error = EIO}}, false},
      // Another thread's open took the number meanwhile: /dev/null opens on
      // another, which is not kept.
      {"open, but seen closed", false, {{.call = Call::fstat, .fd = STDERR_FILENO, .error = EBADF}}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          if (c.closed) ::close(STDERR_FILENO);
          const auto before = open_descriptors();
          {
            SystemCallFaults faults(c.in_the_way);
            records::open_missing_standard_descriptors();
          }
          struct stat opened {};
          struct stat null_device {};
          const bool on_null = ::fstat(STDERR_FILENO, &opened) == 0 && ::stat("/dev/null", &null_device) == 0 &&
                               S_ISCHR(opened.st_mode) && opened.st_rdev == null_device.st_rdev;
          const bool none_left = open_descriptors() == before + (c.closed ? 1 : 0);
          std::_Exit(on_null == c.on_null && none_left ? acted_on : 0);
        },
        ::testing::ExitedWithCode(acted_on), "")
        << c.what;
  }
}

TEST(Pause, RunsEachCommandAndEndsOnAnEmptyLine) {
  std::vector<std::string> commands;
  Output console = Output::in_memory();
  testing_support::TextLines in("ls -l\necho hi\n\nafter\n");
  records::pause(console, in, [&](const std::string& command) {
    commands.push_back(command);
    return 0;
  });
  EXPECT_EQ(commands, (std::vector<std::string>{"ls -l", "echo hi"}));
  const std::string prompt = "Korvane Pause - Enter command<CR> or <CR> to continue.\r\n";
  EXPECT_EQ(console.text(), prompt + prompt + prompt);

  testing_support::TextLines ended("x\n");
  try {
    records::pause(console, ended, [](const std::string&) { return 0; });
    FAIL() << "the pause outlived its input";
  } catch (const IoError& error) {
    EXPECT_EQ(error.message(), "end-of-file during read, unit 5, file stdin");
  }
}

}  // namespace
