// Whole sessions whose system calls fail or come back short: the run ends
// with the diagnostic of the file that failed, the exports written before
// stay, an export or list being written is dropped and the previous file of
// its name stays, and no temporary is left; reads cut short change nothing.

#include <gtest/gtest.h>

#include <filesystem>

#include "entries.hpp"
#include "session_in_process.hpp"
#include "support.hpp"
#include "system_call_faults.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::Call;
using testing_support::chain_entry;
using testing_support::Fault;
using testing_support::hidden_in;
using testing_support::read_file;
using testing_support::SessionOutcome;
using testing_support::SystemCallFaults;
using testing_support::write_file;

class FailingCalls : public ::testing::Test {
 protected:
  FailingCalls() {
    session.files.add("PDB/a.pdb", chain_entry(3));
    session.files.add("PDB/e.pdb", chain_entry(2000));
    session.files.add("Files.ini", "a.pdb\ne.pdb\n");
    write_file(dir / "source/e.bck", "the previous export\r\n");
    write_file(dir / "goodfiles.txt", "the previous list\r\n");
  }

  testing_support::SessionInProcess session;
  const fs::path dir = session.dir.path();
};

TEST_F(FailingCalls, AnExportOrListThatCannotBeFinishedLeavesThePreviousOne) {
  struct Case {
    std::string_view what;
    std::vector<Fault> faults;
    std::string diagnostic;
    int temporaries_left = 0;  // the temporary that could not be removed
  };
  const Case cases[] = {
      {"the export's rename refused",
       {{.call = Call::rename, .path = "e.bck", .error = EACCES}},
       "extract: severe (9): permission to access file denied, unit 2, file source/e.bck"},
      {"the export's close failing",
       {{.call = Call::close, .path = "e.bck", .error = EIO}},
       "extract: severe (38): error during write, unit 2, file source/e.bck"},
      {"the export's disk full",
       {{.call = Call::write, .path = "e.bck", .first = 2, .error = ENOSPC}},
       "extract: severe (38): error during write, unit 2, file source/e.bck"},
      {"the list's rename refused",
       {{.call = Call::rename, .path = "goodfiles.txt", .error = EROFS}},
       "extract: severe (30): open failure, unit 3, file goodfiles.txt"},
      {"the list's close failing",
       {{.call = Call::close, .path = "goodfiles.txt", .error = EDQUOT}},
       "extract: severe (38): error during write, unit 3, file goodfiles.txt"},
      {"the export's rename refused and its temporary not removable",
       {{.call = Call::rename, .path = "e.bck", .error = EACCES}, {.call = Call::unlink, .error = EACCES}},
       "extract: severe (9): permission to access file denied, unit 2, file source/e.bck",
       1},
  };
  for (const auto& c : cases) {
    fs::remove(dir / "source/a.bck");
    write_file(dir / "source/e.bck", "the previous export\r\n");
    SessionOutcome run;
    {
      SystemCallFaults faults(c.faults);
      run = session.run("2\nCA\n2\n");
      EXPECT_GT(faults.hit(0), 0) << c.what;
    }
    EXPECT_EQ(run.failure, c.diagnostic) << c.what;
    EXPECT_TRUE(read_file(dir / "source/a.bck").ends_with("        3      A\r\n")) << c.what;
    const bool list_failed = c.diagnostic.ends_with("goodfiles.txt");
    EXPECT_EQ(read_file(dir / "source/e.bck") == "the previous export\r\n", !list_failed) << c.what;
    EXPECT_EQ(read_file(dir / "goodfiles.txt"), "the previous list\r\n") << c.what;
    const auto left = hidden_in(dir / "source");
    EXPECT_EQ(hidden_in(dir).size() + left.size(), static_cast<std::size_t>(c.temporaries_left)) << c.what;
    for (const std::string& name : left) fs::remove(dir / "source" / name);
  }
}

TEST_F(FailingCalls, ReadsCutShortOrInterruptedReadTheSameEntriesAndList) {
  write_file(dir / "PDB/a.pdb", chain_entry(3));
  write_file(dir / "PDB/e.pdb", chain_entry(2000));
  write_file(dir / "Files.ini", "a.pdb\ne.pdb\n");
  const SessionOutcome plain = session.run("2\nCA\n2\n", {.real_files = true});
  ASSERT_EQ(plain.failure, "");
  const std::string exported = read_file(dir / "source/e.bck");

  const std::vector<Fault> cases[] = {
      {{.call = Call::read, .path = "Files.ini", .count = 0, .error = 0, .at_most = 3}},
      {{.call = Call::read, .path = "PDB/", .count = 0, .error = 0, .at_most = 1000}},
      {{.call = Call::read, .first = 1, .count = 2, .error = EINTR},
       {.call = Call::read, .path = "e.pdb", .first = 2, .count = 3, .error = EINTR},
       {.call = Call::read, .count = 0, .error = 0, .at_most = 20000}},
  };
  for (const auto& faults_of_case : cases) {
    fs::remove(dir / "source/e.bck");
    SessionOutcome run;
    {
      SystemCallFaults faults(faults_of_case);
      run = session.run("2\nCA\n2\n", {.real_files = true});
      EXPECT_GT(faults.hit(0), 1);
    }
    EXPECT_EQ(run.failure, "");
    EXPECT_TRUE(run.out == plain.out) << "the console differs";
    EXPECT_TRUE(read_file(dir / "source/e.bck") == exported) << "the export differs";
  }
}

TEST_F(FailingCalls, AnEntryThatCannotBeReadIsPassedOverUnderKeepGoing) {
  write_file(dir / "PDB/a.pdb", chain_entry(3));
  write_file(dir / "PDB/e.pdb", chain_entry(2000));
  write_file(dir / "Files.ini", "e.pdb\na.pdb\n");
  SystemCallFaults faults({{.call = Call::read, .path = "e.pdb", .first = 2, .error = EIO}});
  const SessionOutcome run = session.run("2\nCA\n2\n", {.keep_going = true, .no_pause = true, .real_files = true});
  EXPECT_EQ(run.failure, "");
  EXPECT_EQ(run.errors, "extract: severe (30): open failure, unit 1, file PDB/e.pdb\r\n");
  EXPECT_EQ(run.summary.failed, 1U);
  EXPECT_EQ(read_file(dir / "source/e.bck"), "the previous export\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " a.bck       \r\n");
}

// Read ahead, an export is linked to its name at once while the names are
// free (a close that fails then takes the name away again), and through a
// temporary name and a rename once one is found taken.
TEST_F(FailingCalls, ExportsReadAheadTakeFreeNamesAtOnce) {
  struct Case {
    std::string_view taken;  // the export already there
    bool first_close_fails;  // the first export's
    int links;
    int renames;
  };
  for (const Case c : {Case{"", false, 2, 0}, Case{"e", false, 3, 1}, Case{"a", false, 3, 2}, Case{"", true, 1, 0}}) {
    for (const std::string name : {"a", "e"}) {
      fs::remove(dir / "source" / (name + ".bck"));
      if (c.taken == name) write_file(dir / "source" / (name + ".bck"), "the previous export\r\n");
    }
    // Counted, never hit; the close is an export's, made without a name in source/.
    SystemCallFaults faults({{.call = Call::link, .path = ".bck", .first = 1000},
                             {.call = Call::rename, .path = ".bck", .first = 1000},
                             {.call = Call::close, .path = "source/.", .first = c.first_close_fails ? 1 : 1000}});
    const SessionOutcome run = session.run("2\nCA\n2\n", {.jobs = 2});
    const std::string what = std::string(c.taken) + " taken" + (c.first_close_fails ? ", the first close failing" : "");
    EXPECT_EQ(faults.counted(0), c.links) << what;
    EXPECT_EQ(faults.counted(1), c.renames) << what;
    EXPECT_EQ(run.failure,
              c.first_close_fails ? "extract: severe (38): error during write, unit 2, file source/a.bck" : "");
    EXPECT_EQ(fs::exists(dir / "source/a.bck"), !c.first_close_fails) << what;
  }
}

TEST_F(FailingCalls, ReadAheadWithoutAWakeupCallRunsAsOneJob) {
  // The eventfd that wakes the thread waiting for entries read ahead: with
  // none to be had, the run is that of one job.
  session.files.add("Files.ini", "a.pdb\ne.pdb\nmissing.pdb\na.pdb\n");
  const SessionOutcome one_job = session.run("2\nCA\n2\n", {.keep_going = true, .no_pause = true});
  const std::string exported = read_file(dir / "source/e.bck");
  fs::remove(dir / "source/e.bck");
  SystemCallFaults faults({{.call = Call::eventfd, .error = EMFILE}});
  const SessionOutcome run = session.run("2\nCA\n2\n", {.keep_going = true, .no_pause = true, .jobs = 4});
  EXPECT_EQ(faults.hit(0), 1);
  EXPECT_EQ(run.failure, one_job.failure);
  EXPECT_EQ(run.errors, one_job.errors);
  EXPECT_TRUE(run.out == one_job.out) << "the console differs";
  EXPECT_EQ(read_file(dir / "source/e.bck"), exported);
}

}  // namespace
