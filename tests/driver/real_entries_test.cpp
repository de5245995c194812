// Whole sessions over real entries, compared byte for byte with the
// transcripts and files kept in tests/data/sessions/<session>/expected.
// Each session directory holds its `answers` and, for list runs, `Files.ini`.
// EXTRACT_UPDATE_EXPECTED=1 rewrites the expected files from what the tool
// does now; review the difference before committing it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <tuple>

#include "compressed_data.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::gzip;
using testing_support::read_file;
using testing_support::write_file;

const fs::path data = EXTRACT_TEST_DATA;

std::vector<std::string> session_names() {
  return testing_support::names_in(data / "sessions");
}

// Every file the session leaves that a user or a script reads.
std::map<std::string, std::string> outcome_of(const fs::path& dir, const testing_support::ToolRun& run) {
  std::map<std::string, std::string> files{
      {"stdout", run.out}, {"stderr", run.err}, {"status", std::to_string(run.status) + "\n"}};
  if (fs::exists(dir / "goodfiles.txt")) files["goodfiles.txt"] = read_file(dir / "goodfiles.txt");
  for (const auto& entry : fs::directory_iterator(dir / "source")) {
    files["source/" + entry.path().filename().string()] = read_file(entry.path());
  }
  return files;
}

std::map<std::string, std::string> expected_of(const fs::path& expected) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(expected)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), expected).string()] = read_file(entry.path());
  }
  return files;
}

// How the entries of a session are stored: as they are, or compressed the
// ways the archive hands them out.
enum class Storage {
  plain,
  compressed_beside,  // PDB/<name>.gz and no PDB/<name>
  compressed_inside,  // gzip data under PDB/<name>
  two_members,        // the same, in two gzip members
};

void store_entries(const fs::path& pdb, Storage storage) {
  fs::create_directories(pdb);
  for (const auto& entry : fs::directory_iterator(data / "pdb")) {
    const std::string text = read_file(entry.path());
    const fs::path plain = pdb / entry.path().filename();
    if (storage == Storage::plain) write_file(plain, text);
    if (storage == Storage::compressed_beside) write_file(plain.string() + ".gz", gzip(text));
    if (storage == Storage::compressed_inside) write_file(plain, gzip(text));
    if (storage == Storage::two_members)
      write_file(plain, gzip(text.substr(0, text.size() / 3)) + gzip(text.substr(text.size() / 3)));
  }
}

// The session as the user runs it, its entries stored as `storage` says,
// read `jobs` at once; -j 1 is what the user runs without the option.
std::map<std::string, std::string> run_session(const fs::path& session, Storage storage, std::string_view jobs,
                                               const std::vector<std::string>& more_options = {}) {
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  store_entries(dir / "PDB", storage);
  if (fs::exists(session / "Files.ini")) fs::copy_file(session / "Files.ini", dir / "Files.ini");
  testing_support::ToolOptions options{.arguments = more_options};
  if (jobs != "1") options.arguments.insert(options.arguments.begin(), {"-j", std::string(jobs)});
  const auto run = testing_support::run_tool(EXTRACT_BINARY, dir.path(), read_file(session / "answers"), options);
  return outcome_of(dir.path(), run);
}

// Every session is the same read any number of entries at once.
const std::vector<std::string> jobs_counts = {"1", "2", "3", "8"};

class RealEntries : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(RealEntries, SessionGivesTheExpectedTranscriptAndFiles) {
  const auto& [session_name, jobs] = GetParam();
  const fs::path session = data / "sessions" / session_name;
  const auto actual = run_session(session, Storage::plain, jobs);

  const char* update = std::getenv("EXTRACT_UPDATE_EXPECTED");
  if (update != nullptr && std::string_view(update) == "1") {
    if (jobs != "1") GTEST_SKIP() << "expected files are written from -j 1";
    fs::remove_all(session / "expected");
    for (const auto& [name, content] : actual) write_file(session / "expected" / name, content);
    GTEST_SKIP() << "expected files rewritten";
  }
  const auto expected = expected_of(session / "expected");
  for (const auto& [name, content] : expected) {
    const auto found = actual.find(name);
    ASSERT_NE(found, actual.end()) << name << " was not written";
    EXPECT_EQ(found->second, content) << name << " differs";
  }
  for (const auto& [name, content] : actual) EXPECT_TRUE(expected.contains(name)) << name << " was not expected";
}

std::string test_name(const ::testing::TestParamInfo<std::tuple<std::string, std::string>>& info) {
  std::string name = std::get<0>(info.param);
  std::replace(name.begin(), name.end(), '-', '_');
  return name + "_j" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(Sessions, RealEntries,
                         ::testing::Combine(::testing::ValuesIn(session_names()), ::testing::ValuesIn(jobs_counts)),
                         test_name);

// Over names of 12 columns and entries that state their resolution, the
// options for the archives' names change nothing.
TEST(RealEntriesWithArchiveOptions, EverySessionGivesTheExpectedTranscriptAndFiles) {
  for (const std::string& name : session_names()) {
    const fs::path session = data / "sessions" / name;
    const auto plain = run_session(session, Storage::plain, "1");
    for (const std::string jobs : {"1", "3"}) {
      EXPECT_EQ(run_session(session, Storage::plain, jobs, {"--long-names", "--allow-no-resolution"}), plain)
          << name << ", -j " << jobs;
    }
  }
}

// Compressed entries give the console and files of the plain ones; only a
// diagnostic names the file actually read.
TEST(RealEntriesCompressed, EverySessionGivesThePlainSessionsTranscriptAndFiles) {
  for (const std::string& name : session_names()) {
    const fs::path session = data / "sessions" / name;
    const auto plain = run_session(session, Storage::plain, "1");
    for (const Storage storage : {Storage::compressed_beside, Storage::compressed_inside, Storage::two_members}) {
      auto expected = plain;
      if (storage == Storage::compressed_beside && !expected["stderr"].empty()) {
        expected["stderr"].insert(expected["stderr"].find(".pdb\r\n") + 4, ".gz");
      }
      for (const std::string& jobs : jobs_counts) {
        EXPECT_EQ(run_session(session, storage, jobs), expected)
            << name << ", storage " << static_cast<int>(storage) << ", -j " << jobs;
      }
    }
  }
}

}  // namespace
