// Connections whose system calls fail, come back short or are interrupted:
// a replaced file keeps its previous content unless the new one took its
// name whole, no temporary stays behind, every byte is sent once, and each
// failure is told with the diagnostic of the connection it hit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "records/console.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "support.hpp"
#include "system_call_faults.hpp"
#include "test_doubles.hpp"

namespace {

namespace fs = std::filesystem;
using records::Failure;
using records::IoError;
using records::Output;
using testing_support::all_records;
using testing_support::Call;
using testing_support::Fault;
using testing_support::names_in;
using testing_support::read_file;
using testing_support::SystemCallFaults;
using testing_support::TempDir;
using testing_support::write_file;

// Numbered records, `count` of them, as written: CR LF after each.
std::string numbered_records(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "record " + std::to_string(i) + " of a replaced file\r\n";
  return text;
}

void write_records(Output& out, int count) {
  for (int i = 0; i < count; ++i) {
    out.record().text("record ").text(std::to_string(i)).text(" of a replaced file").end();
  }
}

// Where two long texts first differ, for a short message.
std::string first_difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "none";
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return "at byte " + std::to_string(at) + " of " + std::to_string(actual.size()) + " (expected " +
         std::to_string(expected.size()) + "): \"" + actual.substr(at, 40) + "\" instead of \"" +
         expected.substr(at, 40) + "\"";
}

// The failure that `action` ends with, or nullopt.
template <typename Action>
std::optional<IoError> failure_of(Action action) {
  try {
    action();
  } catch (const IoError& error) {
    return error;
  }
  return std::nullopt;
}

// -----------------------------------------------------------------------------
// Replaced files

class ReplacedFile : public ::testing::Test {
 protected:
  ReplacedFile() { write_file(path, previous); }
  // Writes `count` records to a replacement of `path` and closes it; the
  // replacement written without a name until it takes one when `temporary`
  // says so.
  void replace(int count, records::Temporary temporary = records::Temporary::named) {
    Output out =
        temporary == records::Temporary::named
            ? Output::replace(2, path.string())
            : Output::replace_beneath(2, dir.path().string(), "out.bck", Output::Directories::there, temporary);
    write_records(out, count);
    out.close();
  }

  TempDir dir;
  const fs::path path = dir / "out.bck";
  const std::string previous = "the previous complete file\r\n";
};

// A rename refused, or a close that fails (a file system that writes back
// late, NFS or a full quota, tells its failure at the close), whether the
// file is written with a name or without one until it takes one: the
// temporary is dropped, nothing takes the name and the failure is told.
TEST_F(ReplacedFile, AFailedRenameOrCloseDropsTheTemporaryAndKeepsThePreviousFile) {
  using records::Temporary;
  struct Case {
    Temporary temporary;
    Fault fault;
    Failure failure;
  };
  const auto fails = [](Call call, int error, std::string on = "out.bck") {
    return Fault{.call = call, .path = std::move(on), .error = error};
  };
  // An unnamed file's close comes once it has a temporary name, in `dir`.
  const std::string in_dir = dir.path().string();
  const Case cases[] = {
      {Temporary::named, fails(Call::rename, EACCES), Failure::permission_denied},
      {Temporary::named, fails(Call::rename, EPERM), Failure::permission_denied},
      {Temporary::named, fails(Call::rename, EISDIR), Failure::open_failure},
      {Temporary::named, fails(Call::rename, EXDEV), Failure::open_failure},
      {Temporary::named, fails(Call::rename, EIO), Failure::open_failure},
      {Temporary::named, fails(Call::rename, ENOSPC), Failure::open_failure},
      {Temporary::named, fails(Call::close, EIO), Failure::write_error},
      {Temporary::named, fails(Call::close, ENOSPC), Failure::write_error},
      {Temporary::named, fails(Call::close, EDQUOT), Failure::write_error},
      {Temporary::named, fails(Call::close, EINTR), Failure::write_error},
      {Temporary::unnamed, fails(Call::close, EIO, in_dir), Failure::write_error},
      {Temporary::unnamed, fails(Call::close, EDQUOT, in_dir), Failure::write_error},
      {Temporary::unnamed, fails(Call::rename, EACCES), Failure::permission_denied},
      {Temporary::unnamed, fails(Call::rename, EISDIR), Failure::open_failure},
  };
  for (const auto& c : cases) {
    SystemCallFaults faults({c.fault});
    const auto error = failure_of([&] { replace(3, c.temporary); });
    const std::string what = std::string(c.temporary == Temporary::named ? "named" : "unnamed") + ", error " +
                             std::to_string(c.fault.error) + (c.fault.call == Call::close ? " at the close" : "");
    ASSERT_TRUE(error.has_value()) << what;
    EXPECT_EQ(error->failure(), c.failure) << what;
    EXPECT_STREQ(error->what(), IoError(c.failure, 2, path.string()).what()) << what;
    EXPECT_EQ(faults.hit(0), 1) << what;
    EXPECT_EQ(read_file(path), previous) << what;
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.bck"}) << "no temporary left, " << what;
  }
}

TEST_F(ReplacedFile, ARemovalThatFailsLeavesTheTemporaryAndTheFirstFailureIsTold) {
  {
    SystemCallFaults faults({{.call = Call::rename, .path = "out.bck", .error = EACCES},
                             {.call = Call::unlink, .path = "out.bck", .error = EACCES}});
    const auto error = failure_of([&] { replace(3); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->failure(), Failure::permission_denied) << "the rename's failure, not the removal's";
    EXPECT_EQ(faults.hit(1), 1);
  }
  EXPECT_EQ(read_file(path), previous);
  // The temporary stays, hidden, named as the README says.
  std::vector<std::string> names = names_in(dir.path());
  ASSERT_EQ(names.size(), 2U);
  EXPECT_EQ(names[0].substr(0, 9), ".out.bck.");
  EXPECT_EQ(names[0].size(), 9U + 6U);
  EXPECT_EQ(read_file(dir / names[0]), numbered_records(3));
  fs::remove(dir / names[0]);

  // A file dropped on the way out of another failure: the removal fails
  // quietly too.
  {
    SystemCallFaults faults({{.call = Call::unlink, .path = "out.bck", .error = EROFS}});
    Output out = Output::replace(2, path.string());
    write_records(out, 3);
  }
  EXPECT_EQ(read_file(path), previous);
  EXPECT_EQ(names_in(dir.path()).size(), 2U);
}

// A temporary takes its name as it is created (a named one) or linked (an
// unnamed one): names another run holds are skipped, a bounded number of
// them, and a failure leaves the previous file as it was and nothing beside.
TEST_F(ReplacedFile, TemporaryNamesTakenByOthersAreSkippedAndAFailedNamingIsTold) {
  struct Way {
    records::Temporary temporary;
    Call naming;
    int own_error;  // one that only this way of naming meets
  };
  for (const Way way :
       {Way{records::Temporary::named, Call::open, EMFILE}, Way{records::Temporary::unnamed, Call::link, EMLINK}}) {
    {
      // Three names another run holds: the fourth is free.
      SystemCallFaults faults({{.call = way.naming, .path = "out.bck", .count = 3, .error = EEXIST}});
      replace(2, way.temporary);
      EXPECT_EQ(faults.counted(0), 4);
    }
    EXPECT_EQ(read_file(path), numbered_records(2));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.bck"});

    struct Case {
      int error;
      int count;  // failed namings
      Failure failure;
    };
    const Case cases[] = {{EEXIST, 0, Failure::open_failure},  // never a free name: gives up
                          {EACCES, 1, Failure::permission_denied},
                          {ENOSPC, 1, Failure::open_failure},
                          {way.own_error, 1, Failure::open_failure}};
    for (const auto& c : cases) {
      write_file(path, previous);
      SystemCallFaults faults({{.call = way.naming, .path = "out.bck", .count = c.count, .error = c.error}});
      const auto error = failure_of([&] { replace(2, way.temporary); });
      ASSERT_TRUE(error.has_value()) << c.error;
      EXPECT_EQ(error->failure(), c.failure) << c.error;
      EXPECT_EQ(error->file(), path.string());
      EXPECT_LE(faults.counted(0), 101) << "a bounded number of names tried";
      EXPECT_EQ(read_file(path), previous) << c.error;
      EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.bck"}) << "nothing left, error " << c.error;
    }
  }
}

// Without openat2 the directories beneath are walked one by one, each looked
// at before it is taken: one that cannot be looked at fails the export as a
// directory that cannot be opened, not as a name refused.
TEST(ReplacedBeneath, ADirectoryOnTheWayThatCannotBeLookedAtFailsTheExport) {
  struct Case {
    int error;
    Failure failure;
  };
  for (const Case c : {Case{EIO, Failure::open_failure}, Case{EACCES, Failure::permission_denied}}) {
    TempDir dir;
    fs::create_directories(dir / "source/walked_part");
    // The first open is openat2's, which the kernel does not have.
    SystemCallFaults faults({{.call = Call::open, .path = "walked_part", .error = ENOSYS},
                             {.call = Call::fstat, .path = "walked_part", .error = c.error}});
    const auto error = failure_of([&] {
      Output out = Output::replace_beneath(2, (dir / "source").string(), "walked_part/x.bck");
      out.close();
    });
    ASSERT_TRUE(error.has_value()) << c.error;
    EXPECT_EQ(error->failure(), c.failure) << c.error;
    EXPECT_FALSE(error->name_refused()) << c.error;
    EXPECT_EQ(error->file(), (dir / "source/walked_part/x.bck").string());
    EXPECT_EQ(faults.hit(1), 1);
    EXPECT_TRUE(fs::is_empty(dir / "source/walked_part"));
  }
}

TEST_F(ReplacedFile, AFileSystemWithoutUnnamedFilesGetsANamedTemporary) {
  // Refusals that say the file system makes no unnamed files (a network
  // file system; a kernel that predates them), and one that a named
  // temporary would meet as well, which is told.
  struct Case {
    int error;
    bool named_instead;
  };
  const Case cases[] = {{EOPNOTSUPP, true}, {EISDIR, true}, {EINVAL, true}, {EACCES, false}, {ENOSPC, false}};
  for (const auto& c : cases) {
    write_file(path, previous);
    SystemCallFaults faults({{.call = Call::open, .path = dir.path().string() + "/.", .error = c.error}});
    std::vector<std::string> while_open;
    const auto error = failure_of([&] {
      Output out = Output::replace_beneath(2, dir.path().string(), "out.bck", Output::Directories::there,
                                           records::Temporary::unnamed);
      write_records(out, 2);
      out.flush();
      while_open = names_in(dir.path());
      out.close();
    });
    if (c.named_instead) {
      EXPECT_FALSE(error.has_value()) << c.error;
      EXPECT_EQ(while_open.size(), 2U) << "a named temporary beside the file, error " << c.error;
      EXPECT_EQ(read_file(path), numbered_records(2)) << c.error;
    } else {
      ASSERT_TRUE(error.has_value()) << c.error;
      EXPECT_EQ(error->failure(), records::creation_failure_for(c.error));
      EXPECT_EQ(faults.counted(0), 1) << "no named temporary tried, error " << c.error;
      EXPECT_EQ(read_file(path), previous) << c.error;
    }
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.bck"}) << c.error;
  }
}

// -----------------------------------------------------------------------------
// Writes

struct FaultCase {
  std::string_view what;
  std::vector<Fault> faults;
};

// Ways writes come back without having sent everything, none of them a
// failure.
std::vector<FaultCase> incomplete_writes() {
  return {
      {"a byte at a time", {{.call = Call::write, .count = 0, .error = 0, .at_most = 1}}},
      {"odd short counts", {{.call = Call::write, .count = 0, .error = 0, .at_most = 4097}}},
      {"interrupted now and then",
       {{.call = Call::write, .first = 2, .count = 3, .error = EINTR},
        {.call = Call::write, .count = 0, .error = 0, .at_most = 1000}}},
      {"a console someone made non-blocking",
       {{.call = Call::write, .count = 2, .error = EAGAIN},
        {.call = Call::write, .count = 0, .error = 0, .at_most = 3000}}},
  };
}

TEST(Writes, ShortAndInterruptedWritesSendEveryByteOnceInOrder) {
  // Enough records to fill the buffer more than once.
  constexpr int count = 2500;
  for (const FaultCase& c : incomplete_writes()) {
    TempDir dir;
    {
      SystemCallFaults faults(c.faults);
      Output out = Output::replace(2, (dir / "out.bck").string());
      write_records(out, count);
      out.close();
    }
    EXPECT_EQ(first_difference(read_file(dir / "out.bck"), numbered_records(count)), "none") << c.what;
  }
}

// Standard output on a regular file (a redirected console): a write that
// fails leaves only whole records, each once, and nothing follows on the way
// out. Runs in a child, which owns its standard output.
TEST(WritesDeathTest, AConsoleWriteThatFailsLeavesWholeRecordsEachOnce) {
  for (const int failing_write : {1, 2, 5}) {
    TempDir dir;
    const fs::path shown = dir / "stdout";
    EXPECT_EXIT(
        {
          const int fd = ::open(shown.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) std::_Exit(2);
          SystemCallFaults faults({{.call = Call::write, .fd = STDOUT_FILENO, .first = failing_write, .error = ENOSPC},
                                   {.call = Call::write, .fd = STDOUT_FILENO, .count = 0, .error = 0, .at_most = 37}});
          Output console = Output::console();
          write_records(console, 20);
          const auto error = failure_of([&] { console.flush(); });
          write_records(console, 2);
          console.flush_quietly();
          console.write_quietly("a last line");
          std::_Exit(error && error->unit() == 6 && error->failure() == Failure::write_error ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = read_file(shown);
    const std::string all = numbered_records(20);
    EXPECT_TRUE(all.starts_with(text)) << failing_write << ": " << text;
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << failing_write << ": " << text;
    EXPECT_LT(text.size(), all.size());
    EXPECT_EQ(text.empty(), failing_write == 1) << failing_write;
  }
}

// A torn record is cut off a regular file only when the file can be looked
// at, its end found where this write left it and the file cut; else every
// byte sent stays, and the write error is told all the same.
TEST(WritesDeathTest, ATornRecordStaysWhereTheFileCannotBeLookedAtOrCut) {
  struct Case {
    std::string_view what;
    std::vector<Fault> in_the_way;
    bool cut;
  };
  const Case cases[] = {
      {"nothing in the way", {}, true},
      {"fstat failing", {{.call = Call::fstat, .fd = STDOUT_FILENO, .count = 0}}, false},
      {"lseek failing", {{.call = Call::lseek, .fd = STDOUT_FILENO}}, false},
      {"ftruncate failing", {{.call = Call::ftruncate, .fd = STDOUT_FILENO, .error = EROFS}}, false},
  };
  // Two short writes of 37 bytes, then a full disk: a record and part of
  // the next were sent.
  constexpr std::size_t sent = 2 * 37;
  const std::string all = numbered_records(20);
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path shown = dir / "stdout";
    EXPECT_EXIT(
        {
          const int fd = ::open(shown.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) std::_Exit(2);
          std::vector<Fault> faults = c.in_the_way;
          faults.push_back({.call = Call::write, .fd = STDOUT_FILENO, .first = 3, .error = ENOSPC});
          faults.push_back({.call = Call::write, .fd = STDOUT_FILENO, .count = 0, .error = 0, .at_most = 37});
          SystemCallFaults active(faults);
          Output console = Output::console();
          write_records(console, 20);
          const auto error = failure_of([&] { console.flush(); });
          std::_Exit(error && error->unit() == 6 && error->failure() == Failure::write_error ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "")
        << c.what;
    const std::string kept = all.substr(0, sent);
    EXPECT_EQ(read_file(shown), c.cut ? kept.substr(0, kept.rfind('\n') + 1) : kept) << c.what;
  }
}

// A console that cannot be looked at may be a pipe: its writes wait for
// room where the way out can give up on them, rather than stall it.
TEST(WritesDeathTest, AConsoleThatCannotBeLookedAtIsGivenUpOnTheWayOut) {
  EXPECT_EXIT(
      {
        // A pipe of one page that nobody reads, and more records than it
        // takes; a run that stalls is ended by the alarm.
        int ends[2];
        if (::pipe(ends) != 0 || ::fcntl(ends[1], F_SETPIPE_SZ, 4096) < 0 || ::dup2(ends[1], STDOUT_FILENO) < 0) {
          std::_Exit(2);
        }
        ::alarm(30);
        SystemCallFaults faults({{.call = Call::fstat, .fd = STDOUT_FILENO, .count = 0}});
        Output console = Output::console();
        write_records(console, 1000);
        console.flush_quietly();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// A control event that comes while a long write is cut short ends the
// write; what the way out flushes then is the rest, never a byte again.
TEST(WritesDeathTest, AControlEventInTheMiddleOfAWriteShowsEveryByteOnce) {
  TempDir dir;
  const fs::path shown = dir / "stdout";
  EXPECT_EXIT(
      {
        const int fd = ::open(shown.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) std::_Exit(2);
        records::install_control_event_handlers();
        SystemCallFaults faults({{.call = Call::write, .fd = STDOUT_FILENO, .first = 3, .error = EINTR},
                                 {.call = Call::write, .fd = STDOUT_FILENO, .count = 0, .error = 0, .at_most = 50}});
        Output console = Output::console();
        write_records(console, 20);
        std::raise(SIGINT);
        bool ended = false;
        try {
          console.flush();
        } catch (const records::ControlEvent&) {
          ended = true;
        }
        console.flush_quietly();
        std::_Exit(ended ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(shown), numbered_records(20));
}

// -----------------------------------------------------------------------------
// Reads of files

// A file read in several pieces (the first is 64 KiB), its lines ending in
// CR LF, a line end split across pieces.
std::string file_in_pieces() {
  std::string text;
  for (int i = 0; text.size() < (std::size_t{200} << 10); ++i) {
    text += "RECORD " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 70), '.') + "\r\n";
  }
  return text + "LAST";
}

TEST(Reads, ShortAndInterruptedReadsGiveTheWholeFile) {
  TempDir dir;
  const std::string text = file_in_pieces();
  write_file(dir / "entry.pdb", text);
  testing_support::FilesInMemory in_memory;
  in_memory.add("entry.pdb", text);
  records::Input expected_input(1, in_memory);
  expected_input.open_old("entry.pdb");
  const std::vector<std::string> expected = all_records(expected_input);

  const FaultCase cases[] = {
      {"short reads", {{.call = Call::read, .path = "entry.pdb", .count = 0, .error = 0, .at_most = 4093}}},
      {"a byte at a time", {{.call = Call::read, .path = "entry.pdb", .count = 0, .error = 0, .at_most = 1}}},
      {"interrupted first", {{.call = Call::read, .path = "entry.pdb", .count = 3, .error = EINTR}}},
      {"interrupted in a later piece",
       {{.call = Call::read, .path = "entry.pdb", .first = 2, .count = 2, .error = EINTR},
        {.call = Call::read, .path = "entry.pdb", .first = 5, .count = 1, .error = EINTR},
        {.call = Call::read, .path = "entry.pdb", .count = 0, .error = 0, .at_most = 30000}}},
  };
  for (const auto& c : cases) {
    SystemCallFaults faults(c.faults);
    records::Input input(1);
    input.open_old((dir / "entry.pdb").string());
    EXPECT_EQ(all_records(input), expected) << c.what;
    EXPECT_GT(faults.hit(0), 0) << c.what;
  }
}

TEST(Reads, AFileThatCannotBeReadIsAnOpenFailureOfThatFile) {
  TempDir dir;
  const std::string path = (dir / "entry.pdb").string();
  write_file(path, file_in_pieces());
  for (const int failing_read : {1, 2, 3}) {
    SystemCallFaults faults({{.call = Call::read, .path = "entry.pdb", .first = failing_read, .error = EIO}});
    records::Input input(1);
    const auto error = failure_of([&] {
      input.open_old(path);
      all_records(input);
    });
    ASSERT_TRUE(error.has_value()) << failing_read;
    EXPECT_STREQ(error->what(), ("extract: severe (30): open failure, unit 1, file " + path).c_str());
  }
  SystemCallFaults faults({{.call = Call::open, .path = "entry.pdb", .error = EACCES}});
  records::Input input(1);
  EXPECT_EQ(failure_of([&] { input.open_old(path); })->failure(), Failure::permission_denied);
}

TEST(Reads, AFileThatCannotBeLookedAtFailsAsNotOpenedOrAsChanged) {
  // Looked at when opened (is it a regular file, and how large?) and when
  // closed (has it changed?).
  TempDir dir;
  const std::string path = (dir / "entry.pdb").string();
  write_file(path, file_in_pieces());
  struct Case {
    int failing_look;
    int error;
    Failure failure;
  };
  const Case cases[] = {{1, EIO, Failure::open_failure},
                        {1, EACCES, Failure::permission_denied},
                        {2, EIO, Failure::file_changed},
                        {2, EOVERFLOW, Failure::file_changed}};
  for (const Case& c : cases) {
    SystemCallFaults faults({{.call = Call::fstat, .path = "entry.pdb", .first = c.failing_look, .error = c.error}});
    records::Input input(1);
    const auto error = failure_of([&] {
      input.open_old(path);
      all_records(input);
      input.close();
    });
    ASSERT_TRUE(error.has_value()) << c.failing_look << ", " << c.error;
    EXPECT_EQ(error->failure(), c.failure) << c.failing_look << ", " << c.error;
    EXPECT_EQ(error->file(), path);
    EXPECT_EQ(faults.hit(0), 1);
  }
}

// -----------------------------------------------------------------------------
// Reads of the console

// The console's lines from a file of `text`, read under `faults`.
std::vector<std::string> console_lines(std::string_view text, const std::vector<Fault>& faults) {
  TempDir dir;
  write_file(dir / "typed", text);
  const int fd = ::open((dir / "typed").c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<std::string> lines;
  {
    std::vector<Fault> on_fd = faults;
    for (Fault& fault : on_fd) fault.fd = fd;
    SystemCallFaults active(on_fd);
    Output console = Output::in_memory();
    records::ConsoleInput in(console, fd);
    while (const auto line = in.next_line()) lines.emplace_back(*line);
  }
  ::close(fd);
  return lines;
}

TEST(ConsoleReads, LinesLoseTheirLineEndHoweverTheReadsComeBack) {
  const std::string_view typed = "2\r\nCA\n\r\n  1  \r\nx\ry\n\nlast";
  const std::vector<std::string> lines{"2", "CA", "", "  1  ", "x\ry", "", "last"};
  const FaultCase cases[] = {
      {"whole", {}},
      {"a byte at a time", {{.call = Call::read, .count = 0, .error = 0, .at_most = 1}}},
      {"CR and LF in different reads", {{.call = Call::read, .count = 0, .error = 0, .at_most = 2}}},
      {"interrupted",
       {{.call = Call::read, .first = 1, .count = 2, .error = EINTR},
        {.call = Call::read, .first = 4, .count = 1, .error = EINTR},
        {.call = Call::read, .count = 0, .error = 0, .at_most = 3}}},
      {"a console someone made non-blocking",
       {{.call = Call::read, .count = 3, .error = EAGAIN}, {.call = Call::read, .count = 0, .error = 0, .at_most = 5}}},
  };
  for (const auto& c : cases) EXPECT_EQ(console_lines(typed, c.faults), lines) << c.what;
}

TEST(ConsoleReads, AnOverlongLineKeepsItsFirstMegabyteWhereverItsEndFalls) {
  // The rest of the line is read and dropped, in pieces of the console's
  // 64 KiB reads or less; the line end falls at another place in each.
  const std::size_t longest = records::ConsoleInput::longest_line;
  const std::string line = "small.pdb " + std::string(3 * longest, 'x');
  for (const std::size_t piece : {std::size_t{65536}, std::size_t{65535}, std::size_t{777}}) {
    const auto lines = console_lines(line + "\nCA\n", {{.call = Call::read, .count = 0, .error = 0, .at_most = piece}});
    ASSERT_EQ(lines.size(), 2U) << piece;
    EXPECT_EQ(lines[0], line.substr(0, longest)) << piece;
    EXPECT_EQ(lines[1], "CA") << piece;
  }
}

TEST(ConsoleReads, AConsoleThatCannotBeReadEndsItsInput) {
  // What was read before the failure still counts; a line cut off by it is
  // the last.
  EXPECT_EQ(console_lines("1\nCA\n2\n", {{.call = Call::read, .error = EIO}}), std::vector<std::string>{});
  EXPECT_EQ(console_lines("1\nCA\n2\n", {{.call = Call::read, .first = 3, .error = EIO},
                                         {.call = Call::read, .count = 0, .error = 0, .at_most = 2}}),
            (std::vector<std::string>{"1", "CA"}));
}

}  // namespace
