// Names beneath a directory: which names a whole name may be, the
// directories of a name made beneath the directory and never through a
// link, and a whole answer line read as one name.

#include "records/names.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "records/failures.hpp"
#include "records/free_form.hpp"
#include "records/output.hpp"
#include "support.hpp"
#include "test_doubles.hpp"

namespace {

namespace fs = std::filesystem;
using records::IoError;
using records::Output;

// A name of `length` bytes in parts of 200.
std::string in_parts(std::size_t length) {
  std::string name(length, 'x');
  for (std::size_t i = 200; i < length; i += 201) name[i] = '/';
  return name;
}

TEST(NamesBeneath, OnlyPlainNamesWithinTheSystemsLimitsAreTakenBeneathADirectory) {
  struct Case {
    std::string name;
    bool refused;
  };
  const Case cases[] = {
      {"1abc.pdb", false},
      {"ab/pdb1abc.ent", false},
      {"a b,c/x..y/.z", false},
      {std::string(255, 'x'), false},
      {std::string(256, 'x'), true},
      {std::string(255, 'x') + "/" + std::string(255, 'x'), false},
      {in_parts(4091), false},  // "PDB/" and 4091: 4095
      {in_parts(4092), true},
      {std::string("a\0b", 3), true},
      {"a\tb", true},
      {"a\x7f", true},
      {"/x", true},
      {"..", true},
      {"a/../b", true},
      {"a/..", true},
  };
  for (const Case& c : cases) {
    bool refused = false;
    try {
      records::refuse_unless_beneath(1, "PDB", c.name);
    } catch (const IoError& error) {
      refused = error.name_refused() && error.of_the_name() && error.file() == "PDB/" + c.name;
    }
    EXPECT_EQ(refused, c.refused) << c.name.substr(0, 40) << " (" << c.name.size() << ")";
  }
}

TEST(NamesBeneath, DirectoriesOfANameAreMadeBeneathItsDirectoryOnly) {
  enum class Outcome { written, refused, failed_on_the_way };
  struct Case {
    std::string_view name;
    Output::Directories directories;
    Outcome outcome;
  };
  using enum Output::Directories;
  const Case cases[] = {
      {"ab/x.bck", made, Outcome::written},
      {"ab/cd/ef/x.bck", made, Outcome::written},
      {"real/new/x.bck", made, Outcome::written},
      {"ab/x.bck", there, Outcome::failed_on_the_way},
      {"file/x.bck", made, Outcome::failed_on_the_way},
      {"link/new/x.bck", made, Outcome::refused},
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
      outcome = error.name_refused() ? Outcome::refused : Outcome::failed_on_the_way;
    }
    EXPECT_EQ(outcome, c.outcome) << c.name;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere")) << c.name;
    if (c.outcome == Outcome::written) {
      EXPECT_EQ(testing_support::read_file(dir / "source" / c.name), "exported\r\n") << c.name;
    }
  }
}

TEST(NamesBeneath, AWholeAnswerLineIsOneName) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"  ab/x y,z.pdb \t\n", "ab/x y,z.pdb"},
      {"\n \n'q'/r\n", "'q'/r"},
      {"pdb_00017xsv.cif\r\n", "pdb_00017xsv.cif"},
  };
  for (const auto& [typed, name] : cases) {
    testing_support::TextLines in(typed);
    EXPECT_EQ(records::read_free_line(in), name) << typed;
  }
}

}  // namespace
