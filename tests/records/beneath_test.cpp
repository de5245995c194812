// Exports are created beneath their directory only: the directory itself may
// be a link, but no link or ".." inside it leads a file elsewhere, whether
// the kernel resolves the name (openat2) or the tool walks it.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "calls_restored.hpp"
#include "records/failures.hpp"
#include "records/output.hpp"
#include "records/system_calls.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using records::Failure;
using records::IoError;
using records::Output;

int without_openat2(int, const char*, int) {
  errno = ENOSYS;
  return -1;
}

enum class Outcome { written, refused, open_failure };

TEST(Beneath, NoNameLeadsOutOfItsDirectory) {
  struct Case {
    std::string_view name;
    Outcome outcome;
  };
  const std::string nul_name("x\0y.bck", 7);
  const Case cases[] = {
      {"x.bck", Outcome::written},
      {"real/x.bck", Outcome::written},
      {"real/./deeper/x.bck", Outcome::written},
      {"/real/x.bck", Outcome::written},  // "source//real/x.bck": still beneath
      {"link/x.bck", Outcome::refused},
      {"inner/x.bck", Outcome::refused},  // a link that stays inside is not followed either
      {"real/link/x.bck", Outcome::refused},
      {"../x.bck", Outcome::refused},
      {"real/../x.bck", Outcome::refused},
      {"..", Outcome::refused},
      {nul_name, Outcome::refused},
      {"missing/x.bck", Outcome::open_failure},
      {"real/", Outcome::open_failure},
      {"file/x.bck", Outcome::open_failure},
  };
  for (const bool walked : {false, true}) {
    for (const Case& c : cases) {
      testing_support::TempDir dir;
      fs::create_directories(dir / "scratch/real/deeper");
      fs::create_directories(dir / "elsewhere");
      fs::create_directory_symlink(dir / "scratch", dir / "source");  // the directory itself a link
      fs::create_directory_symlink(dir / "elsewhere", dir / "scratch/link");
      fs::create_directory_symlink(dir / "elsewhere", dir / "scratch/real/link");
      fs::create_directory_symlink("real", dir / "scratch/inner");
      testing_support::write_file(dir / "scratch/file", "a file\n");
      const testing_support::CallsRestored restored;
      if (walked) records::system_calls.openat_beneath = without_openat2;
      const std::string what = std::string(c.name) + (walked ? ", walked" : ", by openat2");
      Outcome outcome = Outcome::written;
      try {
        Output out = Output::replace_beneath(2, (dir / "source").string(), c.name);
        out.record().text("exported").end();
        out.close();
      } catch (const IoError& error) {
        EXPECT_EQ(error.failure(), Failure::open_failure) << what;
        EXPECT_EQ(error.unit(), 2) << what;
        EXPECT_EQ(error.file(), (dir / "source").string() + "/" + std::string(c.name)) << what;
        outcome = error.name_refused() ? Outcome::refused : Outcome::open_failure;
      }
      EXPECT_EQ(outcome, c.outcome) << what;
      EXPECT_TRUE(fs::is_empty(dir / "elsewhere")) << what;
      if (c.outcome == Outcome::written) {
        EXPECT_EQ(testing_support::read_file(dir / "scratch" / fs::path(c.name).relative_path()), "exported\r\n")
            << what;
      }
    }
  }
}

// With Directories::made, what a name holds is made beneath the directory,
// never through a link.
TEST(Beneath, DirectoriesOfANameAreMadeBeneathItsDirectoryOnly) {
  struct Case {
    std::string_view name;
    Output::Directories directories;
    Outcome outcome;
  };
  using enum Output::Directories;
  const Case cases[] = {
      {"ab/x.bck", made, Outcome::written},        {"ab/cd/ef/x.bck", made, Outcome::written},
      {"real/new/x.bck", made, Outcome::written},  {"ab/x.bck", there, Outcome::open_failure},
      {"file/x.bck", made, Outcome::open_failure}, {"link/new/x.bck", made, Outcome::refused},
      {"dangling/x.bck", made, Outcome::refused},
  };
  for (const Case& c : cases) {
    testing_support::TempDir dir;
    fs::create_directories(dir / "source/real");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "source/link");
    fs::create_directory_symlink(dir / "elsewhere/gone", dir / "source/dangling");
    testing_support::write_file(dir / "source/file", "a file\n");
    Outcome outcome = Outcome::written;
    try {
      Output out = Output::replace_beneath(2, (dir / "source").string(), c.name, c.directories);
      out.record().text("exported").end();
      out.close();
    } catch (const IoError& error) {
      EXPECT_TRUE(error.of_the_name()) << c.name;
      outcome = error.name_refused() ? Outcome::refused : Outcome::open_failure;
    }
    EXPECT_EQ(outcome, c.outcome) << c.name;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere")) << c.name;
    if (c.outcome == Outcome::written) {
      EXPECT_EQ(testing_support::read_file(dir / "source" / c.name), "exported\r\n") << c.name;
    }
  }
}

}  // namespace
