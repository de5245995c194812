// -j N reads entries ahead on N threads, yet a run shows and writes exactly
// what it does with -j 1: the same standard output, standard error, files
// (temporaries included) and exit status, in every way a run can go.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <random>

#include "compressed_data.hpp"
#include "driver/driver.hpp"
#include "entries.hpp"
#include "failing_archive.hpp"
#include "file_loop.hpp"
#include "mmcif_text.hpp"
#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::gzip;
using testing_support::read_file;
using testing_support::write_file;

const fs::path data = EXTRACT_TEST_DATA;

// The failing archive, with gzip data under a plain name, a long and a
// small chain, and a gzip bomb.
void archive(const fs::path& dir) {
  testing_support::make_failing_archive(dir, data);
  write_file(dir / "PDB/2beg_gz.pdb", gzip(read_file(data / "pdb/2beg.pdb")));
  write_file(dir / "PDB/long.pdb", testing_support::helix_chain_entry(3000));
  write_file(dir / "PDB/small.pdb", testing_support::helix_chain_entry(3));
  // mmCIF entries: whole chain names, compressed, too long a chain name,
  // and a quote never closed.
  auto chains = testing_support::MmcifText::with_header();
  chains.polymers()
      .sequence("AAAA", 40)
      .helices({{"AAAA", "2", "30"}})
      .atoms(testing_support::chain_rows("AAAA", 1, 40));
  write_file(dir / "PDB/chains.cif", chains.text());
  write_file(dir / "PDB/chainsz.cif", gzip(chains.text()));
  auto too_long = testing_support::MmcifText::with_header();
  too_long.polymers().sequence("ABCDEFGH", 3).atoms(testing_support::chain_rows("ABCDEFGH", 1, 3));
  write_file(dir / "PDB/too_long.cif", too_long.text());
  write_file(dir / "PDB/unclosed.cif", testing_support::MmcifText::with_header().add("_struct.title 'open\n").text());
  // 64 MiB of zeros in 64 kB: past a small size limit.
  write_file(dir / "PDB/bomb.pdb.gz", testing_support::gzip_zeros(4, std::size_t{16} << 20));
}

const std::vector<std::string> good = {"1a8o.pdb",  "1lcd.pdb",  "2beg.pdb",    "3al1.pdb",
                                       "z3al1.pdb", "z1lcd.pdb", "2beg_gz.pdb", "long.pdb"};
const std::vector<std::string> failing = {"missing.pdb", "folder.pdb", "nores.pdb", "2n0n_m1.pdb", "broken.pdb"};

// `count` names: the good entries in turn, and from `first_failure` on,
// every `failure_every`-th one of the failing entries in turn.
std::string list_of(int count, int first_failure = -1, int failure_every = 1000000) {
  std::string list;
  std::size_t good_at = 0;
  std::size_t failing_at = 0;
  for (int i = 0; i < count; ++i) {
    const bool fails = first_failure >= 0 && i >= first_failure && (i - first_failure) % failure_every == 0;
    list += (fails ? failing[failing_at++ % failing.size()] : good[good_at++ % good.size()]) + "\n";
  }
  return list;
}

struct Scenario {
  std::string_view what;
  int status;  // with -j 1: that the run goes the way it says
  std::function<void(const fs::path&)> setup;
  std::string answers;
  std::vector<std::string> arguments;
  testing_support::ToolOptions options = {};
};

// Everything a run leaves that a user or a script sees.
std::map<std::string, std::string> outcome_of(const fs::path& dir, const testing_support::ToolRun& run) {
  std::map<std::string, std::string> seen{
      {"(stdout)", run.out}, {"(stderr)", run.err}, {"(status)", std::to_string(run.status)}};
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(item.path(), dir).string();
    if (item.is_directory()) {
      seen[name + "/"] = "";
    } else if (item.is_regular_file() && !item.is_symlink()) {
      seen[name] = read_file(item.path());
    }
  }
  return seen;
}

std::map<std::string, std::string> run_with_jobs(const Scenario& scenario, const std::string& jobs) {
  testing_support::TempDir dir;
  scenario.setup(dir.path());
  testing_support::ToolOptions options = scenario.options;
  options.arguments = scenario.arguments;
  options.arguments.push_back("-j");
  options.arguments.push_back(jobs);
  return outcome_of(dir.path(), testing_support::run_tool(EXTRACT_BINARY, dir.path(), scenario.answers, options));
}

// A readable account of the first difference between two outcomes.
std::string first_difference(const std::map<std::string, std::string>& one,
                             const std::map<std::string, std::string>& other) {
  for (const auto& [name, content] : one) {
    const auto found = other.find(name);
    if (found == other.end()) return name + " only with -j 1";
    if (found->second != content) {
      std::size_t at = 0;
      while (at < content.size() && at < found->second.size() && content[at] == found->second[at]) ++at;
      return name + " differs from byte " + std::to_string(at) + ": -j 1 has \"" + content.substr(at, 80) +
             "\", the other \"" + found->second.substr(at, 80) + "\"";
    }
  }
  for (const auto& [name, content] : other) {
    if (!one.contains(name)) return name + " not with -j 1";
  }
  return "";
}

std::vector<Scenario> scenarios() {
  const auto with_list = [](std::string list, std::function<void(const fs::path&)> more = {}) {
    return [list, more](const fs::path& dir) {
      archive(dir);
      write_file(dir / "Files.ini", list);
      if (more) more(dir);
    };
  };
  const std::string every_kind =
      "1a8o.pdb\nmissing.pdb\nfolder.pdb\nnores.pdb\n2n0n_m1.pdb\nbroken.pdb\nz3al1.pdb\n"
      "2beg.pdb\nz1lcd.pdb\n2beg_gz.pdb\nlong.pdb\n";
  const std::string mmcif_kinds = "chains.cif\n1a8o.pdb\ntoo_long.cif\nchainsz.cif\nunclosed.cif\n3al1.pdb\n";
  std::string pause_answers;
  for (int i = 0; i < 8; ++i) pause_answers += "echo at pause " + std::to_string(i) + "; ls source\n\n";
  std::string four_hundred_small;
  for (int i = 0; i < 400; ++i) four_hundred_small += "small.pdb\n";

  // Every failing entry its own, and no pause to wait at.
  const std::vector<std::string> keep_going = {"-k", "--no-pause"};
  const std::vector<std::string> keep_going_with_pauses = {"-k"};
  const std::vector<std::string> none;
  const auto file_size_limit = [](long bytes, fs::path stdout_path = {}) {
    return testing_support::ToolOptions{.stdout_path = std::move(stdout_path), .file_size_limit = bytes};
  };
  std::vector<Scenario> all = {
      {"-k, helix mode, entries failing in every way", 3, with_list(every_kind), "2\nCA\n1\n", keep_going},
      {"-k, backbone mode, entries failing in every way", 3, with_list(every_kind), "2\nCA\n2\n", keep_going},
      {"-k, helix mode, mmCIF entries among legacy ones, failing in their own ways", 3, with_list(mmcif_kinds),
       "2\nCA\n1\n", keep_going},
      {"-k, backbone mode, mmCIF entries among legacy ones, failing in their own ways", 3, with_list(mmcif_kinds),
       "2\nCA\n2\n", keep_going},
      {"-k, a long list, a failure every seventh entry", 3, with_list(list_of(90, 3, 7)), "2\nCA\n2\n", keep_going},
      {"-k, pauses answered with commands that list source/", 3, with_list(every_kind), "2\nCA\n1\n" + pause_answers,
       keep_going_with_pauses},
      {"-k, a name with a NUL and entries past the size limit", 3,
       with_list(every_kind + std::string("1a8o\0.pdb\n", 10) + "bomb.pdb\nz1lcd.pdb\n"), "2\nCA\n2\n",
       std::vector<std::string>{"-k", "--no-pause", "--max-entry-size=200K"}},
      {"--long-names, --allow-no-resolution: directories made beneath source/, names refused", 3,
       with_list("ab/x.pdb\ncd/ef/nores.pdb\n/abs.pdb\nab/../1a8o.pdb\n" + list_of(8) + "ab/y z.pdb\n",
                 [](const fs::path& dir) {
                   write_file(dir / "PDB/ab/x.pdb", read_file(dir / "PDB/1a8o.pdb"));
                   write_file(dir / "PDB/ab/y z.pdb", read_file(dir / "PDB/3al1.pdb"));
                   write_file(dir / "PDB/cd/ef/nores.pdb", read_file(dir / "PDB/nores.pdb"));
                 }),
       "2\nCA\n2\n", std::vector<std::string>{"-k", "--no-pause", "--long-names", "--allow-no-resolution"}},
      {"a fatal failure in the middle of a long list", 1, with_list(list_of(30, 12)), "2\nCA\n2\n", none},
      {"a fatal failure at the first entry", 1, with_list(list_of(20, 0)), "2\nN\n1\n", {"--no-pause"}},
      {"an export that cannot be created", 1,
       with_list(list_of(20), [](const fs::path& dir) { fs::create_directories(dir / "source/3al1.bck"); }),
       "2\nCA\n2\n", keep_going_with_pauses},
      {"an export name that leads out of source/, passed over under -k", 3,
       with_list("1a8o.pdb\n1lcd.pdb\n.pdb/../../e\n3al1.pdb\n",
                 [](const fs::path& dir) {
                   write_file(dir / "e", testing_support::helix_chain_entry(3));
                   fs::create_directories(dir / "PDB/.pdb");
                   fs::create_directories(dir / "source/.bck");
                 }),
       "2\nCA\n2\n", keep_going},
      {"no source/ at all", 1,
       [](const fs::path& dir) {
         archive(dir);
         fs::remove_all(dir / "source");
         write_file(dir / "Files.ini", list_of(10));
       },
       "2\nCA\n2\n", keep_going_with_pauses},
      {"a console that runs out of room in a long listing", 1, with_list("small.pdb\n1a8o.pdb\nlong.pdb\n3al1.pdb\n"),
       "2\nCA\n2\n", keep_going, file_size_limit(30'000)},
      {"an export that runs out of room", 1, with_list("small.pdb\nlong.pdb\n1a8o.pdb\n"), "2\nCA\n2\n", none,
       file_size_limit(48'000, "/dev/null")},
      {"goodfiles.txt that runs out of room", 1, with_list(four_hundred_small), "2\nCA\n2\n", none,
       file_size_limit(4'000, "/dev/null")},
      {"mode 3: every entry ignored, every pause answered", 0, with_list(list_of(12)),
       "2\nCA\n3\n" + std::string(12, '\n'), none},
      {"the end of input at a pause", 1, with_list(list_of(12)), "2\nCA\n3\n\n\n\n", none},
      {"-k, a long list with few descriptors to spare", 3, with_list(list_of(90, 3, 7)), "2\nCA\n1\n", keep_going,
       testing_support::ToolOptions{.open_files_limit = 40}},
      {"an empty list", 0, with_list(""), "2\nCA\n2\n", none},
      {"a single entry", 0, with_list(""), "1\n1a8o.pdb\nCA\n1\n", none},
  };
  return all;
}

class Jobs : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Jobs, EveryRunShowsAndWritesWhatOneJobDoes) {
  const Scenario scenario = scenarios()[GetParam()];
  const auto one = run_with_jobs(scenario, "1");
  ASSERT_EQ(one.at("(status)"), std::to_string(scenario.status)) << one.at("(stderr)");
  for (const std::string jobs : {"2", "3", "8"}) {
    const auto many = run_with_jobs(scenario, jobs);
    EXPECT_EQ(first_difference(one, many), "") << scenario.what << ", -j " << jobs;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Jobs, ::testing::Range<std::size_t>(0, scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& scenario) {
                           std::string name;
                           const std::string what(scenarios()[scenario.param].what);
                           for (const char c : what) {
                             if (std::isalnum(static_cast<unsigned char>(c)) != 0) name.push_back(c);
                           }
                           return name;
                         });

}  // namespace

namespace {

// Names in `dir` and below that start with a dot: temporaries left behind.
std::vector<std::string> hidden_below(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (item.path().filename().string().starts_with(".")) names.push_back(fs::relative(item.path(), dir));
  }
  return names;
}

TEST(JobsStress, ControlEventsAtRandomMomentsEndAFourJobRunWithinASecond) {
  testing_support::TempDir dir;
  archive(dir.path());
  write_file(dir / "Files.ini", list_of(200, 5, 9));
  // What whole exports hold: one complete run of each mode.
  std::map<std::string, std::string> whole;
  for (const std::string_view mode : {"1", "2"}) {
    const auto complete = testing_support::run_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n" + std::string(mode) + "\n",
                                                    {.arguments = {"-k", "--no-pause"}});
    ASSERT_EQ(complete.status, 3) << complete.err;
    for (const auto& item : fs::directory_iterator(dir / "source")) {
      whole[item.path().filename()] = read_file(item.path());
    }
  }

  std::mt19937 random(20);
  constexpr int signals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
  for (int attempt = 0; attempt < 40; ++attempt) {
    // Helix mode with pauses that wait for an answer never typed: the event
    // comes at the first pause, while the helpers read ahead. Backbone mode
    // that never waits: it comes once the report of a random entry among
    // the first 150 of 200 was shown, while the run reads, writes and waits
    // for entries; the rest of the report is more than the pipe and the
    // run's buffer hold, so the run cannot have ended.
    const bool pausing = attempt % 2 == 0;
    testing_support::ToolOptions options;
    options.arguments = {"-j", "4", "-k"};
    if (!pausing) options.arguments.push_back("--no-pause");
    testing_support::RunningTool tool(EXTRACT_BINARY, dir.path(), options, true);
    tool.type(pausing ? "2\nCA\n1\n" : "2\nCA\n2\n");
    const int entries_shown = 1 + static_cast<int>(random() % 150);
    ASSERT_TRUE(pausing ? tool.read_output_until("Korvane Pause")
                        : tool.read_output_until(" Processing now file ", entries_shown))
        << "attempt " << attempt;
    const int signal_number = signals[attempt / 2 % 4];
    const auto [result, took] = testing_support::end_with(tool, signal_number, std::chrono::seconds(20));

    ASSERT_LT(took, testing_support::ends_within_seconds) << "attempt " << attempt;
    ASSERT_EQ(result.status, 128 + signal_number) << "attempt " << attempt << ": " << result.err;
    ASSERT_TRUE(result.err.ends_with(" event\r\n")) << result.err;
    ASSERT_EQ(hidden_below(dir.path()), std::vector<std::string>{}) << "attempt " << attempt;
    for (const auto& item : fs::directory_iterator(dir / "source")) {
      ASSERT_EQ(read_file(item.path()), whole[item.path().filename()]) << item.path().filename();
    }
  }
}

}  // namespace

namespace {

TEST(JobsMemory, AtMostAboutOneEntryMorePerJob) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' own memory would hide the entries'";
#endif
  // Entries of 11 MB (mapped where there are no huge pages): a first chain of 9,999 residues,
  // then chains that only make the entry large.
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  std::size_t entry_kb = 0;
  {
    // Gone before the runs: a child's peak counts the memory of this
    // process, from which it is forked, at that moment.
    auto entry = testing_support::EntryText::with_header();
    entry.add(testing_support::seqres_record('A', 9999)).add_chain('A', 1, 9999, 1).add("TER");
    for (const char chain : {'B', 'C', 'D', 'E', 'F', 'G'}) entry.add_chain(chain, 1, 9999, 1);
    entry_kb = entry.text().size() / 1024;
    std::string list;
    for (int i = 0; i < 6; ++i) {
      write_file(dir / "PDB" / ("big" + std::to_string(i) + ".pdb"), entry.text());
      list += "big" + std::to_string(i) + ".pdb\n";
    }
    write_file(dir / "Files.ini", list);
  }
  const auto peak_kb = [&](const std::string& jobs) {
    const auto run = testing_support::run_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n2\n",
                                               {.stdout_path = "/dev/null", .arguments = {"-j", jobs}});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.peak_memory_kb;
  };
  // One job holds one entry and what the program needs besides.
  const long alone = peak_kb("1");
  for (const long jobs : {2, 4}) {
    const long peak = peak_kb(std::to_string(jobs));
    EXPECT_LE(peak, alone + jobs * static_cast<long>(entry_kb))
        << "-j " << jobs << ": " << peak << " kB, -j 1: " << alone << " kB, an entry: " << entry_kb << " kB";
  }
}

// The peak memory of a run of `jobs` on `dir` (helix mode, no pauses)
// whose standard output is a pipe nobody reads for a while: the entries
// read ahead wait with their reports.
long peak_kb_with_stalled_output(const fs::path& dir, const std::string& jobs) {
  testing_support::RunningTool tool(EXTRACT_BINARY, dir, {.arguments = {"-j", jobs, "--no-pause"}}, true);
  tool.type("2\nCA\n1\n");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const auto run = tool.finish();  // reads the pipe to its end
  EXPECT_EQ(run.status, 0) << run.err;
  return run.peak_memory_kb;
}

TEST(JobsMemory, ReportsFarLargerThanTheirEntriesWaitWithinTheBoundWhileOutputIsStalled) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' own memory would hide the reports'";
#endif
  // Entries of 80 kB whose 500 helices all span their 500 residues: each
  // report lists 250,000 atoms, 10 MB; before the bound, -j 4 held them
  // all, nine times the memory of -j 1.
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  {
    auto entry = testing_support::EntryText::with_header();
    for (int h = 0; h < 500; ++h) entry.add(testing_support::helix_record('A', 1, 500));
    entry.add_chain('A', 1, 500, 1);
    write_file(dir / "PDB/overlap.pdb", entry.text());
    std::string list;
    for (int i = 0; i < 12; ++i) list += "overlap.pdb\n";
    write_file(dir / "Files.ini", list);
  }
  // One job holds one entry, its atoms and what the program needs besides;
  // N jobs hold N + 1 such, and the reports they may hold.
  const long alone = peak_kb_with_stalled_output(dir.path(), "1");
  const long held_kb = static_cast<long>(driver::report_held_per_thread / 1024);
  constexpr long jobs = 4;
  const long peak = peak_kb_with_stalled_output(dir.path(), std::to_string(jobs));
  EXPECT_LE(peak, (jobs + 1) * alone + 2 * jobs * held_kb)
      << "-j " << jobs << ": " << peak << " kB, -j 1: " << alone << " kB";
}

TEST(JobsMemory, ALimitThatOneJobMeetsGivesTheOutputOfOneJob) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
  // Two entries of 88 MB, mapped when read to their end (their helix is in
  // their last chain), and a last one without helices, whose pause runs a
  // command that notes the run's peak address space.
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  long entry_kb = 0;
  {
    auto entry = testing_support::EntryText::with_header();
    entry.add(testing_support::helix_record('9', 2, 8990));
    for (const char chain : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")) {
      entry.add_chain(chain, 1, 9000, 1);
    }
    entry_kb = static_cast<long>(entry.text().size() / 1024);
    write_file(dir / "PDB/big1.pdb", entry.text());
    write_file(dir / "PDB/big2.pdb", entry.text());
    auto no_helix = testing_support::EntryText::with_header();
    no_helix.add_chain('A', 1, 3, 1);
    write_file(dir / "PDB/noh.pdb", no_helix.text());
    write_file(dir / "Files.ini", "big1.pdb\nbig2.pdb\nnoh.pdb\n");
  }
  testing_support::ToolOptions options{.arguments = {"-j", "1"}};
  const auto measured = testing_support::run_tool(EXTRACT_BINARY, dir.path(),
                                                  "2\nCA\n1\ngrep VmPeak /proc/$PPID/status > peak\n\n", options);
  ASSERT_EQ(measured.status, 0) << measured.err;
  const std::string peak = read_file(dir / "peak");
  fs::remove(dir / "peak");
  const long peak_kb = std::stol(peak.substr(peak.find_first_of("0123456789")));
  // Room beyond what one job needs: half an entry, too little for two at
  // once, so that -j 2 runs out while it reads both; and 64 MiB, which a
  // heap of a helper thread's own would reserve and keep.
  for (const long room_kb : {entry_kb / 2, 64L << 10}) {
    options.memory_limit = (peak_kb + room_kb) * 1024;
    const auto in = [&](const std::string& jobs) {
      options.arguments = {"-j", jobs};
      return outcome_of(dir.path(), testing_support::run_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n1\n\n", options));
    };
    const auto one = in("1");
    ASSERT_EQ(one.at("(status)"), "0") << one.at("(stderr)");
    EXPECT_EQ(first_difference(one, in("2")), "") << room_kb << " kB beyond one job's peak";
  }
}

}  // namespace

namespace {

// The threads of the run at its first pause, as a command typed there
// counts them: the helpers all exist by then, and wait for room.
int threads_at_first_pause(const std::string& jobs, int processors) {
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  auto no_helix = testing_support::EntryText::with_header();
  no_helix.add_chain('A', 1, 3, 1);
  write_file(dir / "PDB/noh.pdb", no_helix.text());
  write_file(dir / "PDB/small.pdb", testing_support::helix_chain_entry(3));
  std::string list = "noh.pdb\n";
  for (int i = 0; i < 600; ++i) list += "small.pdb\n";
  write_file(dir / "Files.ini", list);
  const auto run =
      testing_support::run_tool(EXTRACT_BINARY, dir.path(), "2\nCA\n1\nls /proc/$PPID/task | wc -l > threads\n\n",
                                {.stdout_path = "/dev/null", .arguments = {"-j", jobs}, .processors = processors});
  EXPECT_EQ(run.status, 0) << run.err;
  return std::stoi(read_file(dir / "threads"));
}

TEST(JobsThreads, NoMoreHelpersThanTwoPerProcessorWhateverIsAsked) {
  struct Case {
    std::string jobs;
    int processors;
    int threads;  // the committing thread and the helpers
  };
  const Case cases[] = {{"1", 1, 1}, {"2", 1, 3}, {"64", 1, 3}, {"1024", 1, 3}, {"0", 1, 1}};
  for (const Case& c : cases) {
    int threads = c.threads;
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer starts a thread of its own with the first other one.
    if (threads > 1) ++threads;
#endif
    EXPECT_EQ(threads_at_first_pause(c.jobs, c.processors), threads) << "-j " << c.jobs << " on " << c.processors;
  }
}

}  // namespace
