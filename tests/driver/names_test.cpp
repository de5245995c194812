// Entries by the names the archives use (--long-names): whole names with
// directories, up to the system's limits and past them, the extension
// rewrite on their last part, the extended ids under their own names, and
// a divided mirror read in one run. Without the option a name is what its
// 12 columns were.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <map>
#include <stdexcept>

#include "archive_entries.hpp"
#include "driver/entry_name.hpp"
#include "entries.hpp"
#include "run_tool.hpp"
#include "session_in_process.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using driver::EntryName;
using driver::FileName;
using testing_support::read_file;
using testing_support::ToolRun;
using testing_support::write_file;

// Files at paths the system takes only relative to a directory: `dir`
// and such a path together are longer than a path may be. Made and read
// relative to `dir`'s descriptor, so the test's working directory stays
// where it is.
class Beneath {
 public:
  explicit Beneath(const fs::path& dir) : fd_(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + dir.string());
  }
  ~Beneath() { ::close(fd_); }
  Beneath(const Beneath&) = delete;
  Beneath& operator=(const Beneath&) = delete;

  // Writes `text` to `path`, making the directories on its way.
  void write(const std::string& path, std::string_view text) const {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      ::mkdirat(fd_, path.substr(0, slash).c_str(), 0777);
    }
    const int file = ::openat(fd_, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0 || ::write(file, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      throw std::runtime_error("cannot write " + path);
    }
    ::close(file);
  }

  std::string read(const std::string& path) const {
    const int file = ::openat(fd_, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return "(missing)";
    std::string text;
    std::array<char, 4096> piece{};
    for (ssize_t got; (got = ::read(file, piece.data(), piece.size())) > 0;)
      text.append(piece.data(), static_cast<std::size_t>(got));
    ::close(file);
    return text;
  }

 private:
  int fd_;
};

ToolRun run(const fs::path& dir, std::string_view answers, std::vector<std::string> arguments) {
  return testing_support::run_tool(EXTRACT_BINARY, dir, answers, {.arguments = std::move(arguments)});
}

TEST(EntryNames, ShownInTwelveColumnsAndRewrittenOnTheLastPart) {
  struct Case {
    std::string_view name;
    std::string_view fixed;  // the rewrite of its first 12 columns, without --long-names
    std::string_view whole;  // with --long-names, as shown
  };
  const Case cases[] = {
      {"1abc.pdb", "1abc.hel    ", "1abc.hel    "},
      {"abcdefghi.pd", "abcdefghi.he", "abcdefghi.he"},  // a dot at 10-12: what fits
      {"abcdefghijk.", "abcdefghijk.", "abcdefghijk."},
      {"abcdefghijk", "abcdefghijk.", "abcdefghijk."},
      {"abcdefghijkl", "abcdefghijkl", "abcdefghijkl"},
      {"ab/1abc.cif", "ab/1abc.hel ", "ab/1abc.hel "},
      {"a.b/1abc.cif", "a.helabc.cif", "a.b/1abc.hel"},  // a directory's dot is left alone
      {"pdb_00017xsv.cif", "pdb_00017xsv", "pdb_00017xsv.hel"},
      {"ab/pdb1abc.ent.gz", "ab/pdb1abc.h", "ab/pdb1abc.hel.gz"},
      {"abcdefghijkl.p", "abcdefghijkl", "abcdefghijkl.hel"},
      {"d.x/abcdefghijklm", "d.helbcdefgh", "d.x/abcdefghijklm.hel"},
      {"  x.pdb   ", "  x.hel     ", "  x.hel     "},
  };
  for (const Case& c : cases) {
    EntryName fixed(FileName{c.name});
    fixed.rewrite_extension("hel");
    EXPECT_EQ(fixed.shown(), c.fixed) << c.name;
    EntryName whole = EntryName::whole(c.name);
    whole.rewrite_extension("hel");
    EXPECT_EQ(whole.shown(), c.whole) << c.name;
    EXPECT_EQ(whole.path(), std::string_view(c.whole).substr(0, std::string_view(c.whole).find_last_not_of(' ') + 1));
  }
}

// Every name of the list at once, under -k: each either exported beneath
// source/ as it is named, or refused as its own failure.
TEST(LongNames, UpToTheSystemsLimitsAndPastThem) {
  const auto part = [](char c, std::size_t n) { return std::string(n, c) + "/"; };
  // 20 directories of 200 bytes: what is left of the 4095 bytes of a path.
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += part('p', 200);
  struct Case {
    std::string name;
    std::string exported;  // beneath source/, or empty when refused with `unit`
    int unit = 0;
    std::string_view failure = "(30): open failure";
  };
  const Case cases[] = {
      {"abcdefghi.pdb", "abcdefghi.bck"},
      {"1abc.pdb", "1abc.bck"},
      {"ab/cd/" + std::string(245, 'x') + ".pdb", "ab/cd/" + std::string(245, 'x') + ".bck"},  // 255 in all
      {part('e', 255) + std::string(251, 'y') + ".pdb", part('e', 255) + std::string(251, 'y') + ".bck"},
      {"ab/cd/" + std::string(251, 'm') + ".pdb", "", 1, "(29): file not found"},    // in a directory that is there
      {"ef/" + std::string(252, 'z') + ".pdb", "", 1},                               // a part of 256 bytes
      {"gh/" + std::string(255, 'w'), "", 2},                                        // ".bck" takes its export past 255
      {deep + std::string(64, 'q') + ".pdb", deep + std::string(64, 'q') + ".bck"},  // source/...: 4095
      {deep + std::string(65, 'r') + ".pdb", "", 2},                                 // 4096
      {deep + std::string(68, 's') + ".pdb", "", 1},                                 // PDB/...: 4096
      {std::string("a\0b.pdb", 7), "", 1},
      {"a\tb.pdb", "", 1},
      {"/etc/hosts", "", 1},
      {"ab/../x.pdb", "", 1},
      {"..", "", 1},
  };
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  const Beneath beneath(dir.path());
  std::string list;
  std::string good_files;
  std::string errors;
  int failed = 0;
  const std::string entry = testing_support::helix_chain_entry(3);
  for (const Case& c : cases) {
    list += c.name + "   \n";  // trailing blanks are not part of a name
    if (c.unit != 1) beneath.write("PDB/" + c.name, entry);
    if (c.unit != 0) {
      const std::string file = c.unit == 1 ? "PDB/" + c.name : "source/" + c.name.substr(0, c.name.find('.')) + ".bck";
      errors +=
          "extract: severe " + std::string(c.failure) + ", unit " + std::to_string(c.unit) + ", file " + file + "\r\n";
      ++failed;
    } else {
      good_files += " " + c.exported + std::string(c.exported.size() < 12 ? 12 - c.exported.size() : 0, ' ') + "\r\n";
    }
  }
  write_file(dir / "Files.ini", list);
  const ToolRun result = run(dir.path(), "2\nCA\n2\n", {"-k", "--no-pause", "--long-names"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err, errors + "extract: " + std::to_string(failed) + " of " + std::to_string(std::size(cases)) +
                            " entries failed\r\n");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), good_files);
  const std::string expected = read_file(dir / "source/1abc.bck");
  for (const Case& c : cases) {
    if (!c.exported.empty()) {
      EXPECT_EQ(beneath.read("source/" + c.exported), expected) << c.exported.size();
    }
  }
}

// A whole answer line; and a directory of the name missing beneath source/:
// made with --long-names, else the entry's own failure under -k.
TEST(LongNames, WholeAnswersAndDirectoriesMissingBeneathSource) {
  struct Case {
    std::string answers;
    std::vector<std::string> arguments;
    int status;
    std::string err;
    std::string_view good_files;
  };
  const std::string missing = "extract: severe (30): open failure, unit 2, file source/ab/x y,z.bck\r\n";
  const Case cases[] = {
      {"2\n", {}, 1, missing, ""},
      {"2\n", {"-k", "--no-pause"}, 3, missing + "extract: 1 of 2 entries failed\r\n", " 1a8o.bck    \r\n"},
      {"2\n", {"--long-names"}, 0, "", " ab/x y,z.bck\r\n 1a8o.bck    \r\n"},
      {"1\n\t ab/x y,z.pdb \t\n", {"--long-names"}, 0, "", " ab/x y,z.bck\r\n"},
      {"1\nab/x y,z.pdb\n", {}, 1, "extract: severe (30): open failure, unit 1, file PDB/ab\r\n", ""},
  };
  for (const Case& c : cases) {
    testing_support::TempDir dir;
    fs::create_directories(dir / "source");
    write_file(dir / "PDB/ab/x y,z.pdb", read_file(fs::path(EXTRACT_TEST_DATA) / "pdb/1a8o.pdb"));
    fs::copy_file(dir / "PDB/ab/x y,z.pdb", dir / "PDB/1a8o.pdb");
    write_file(dir / "Files.ini", "ab/x y,z.pdb\n1a8o.pdb\n");
    const ToolRun result = run(dir.path(), c.answers + "CA\n2\n", c.arguments);
    EXPECT_EQ(result.status, c.status) << c.answers;
    EXPECT_EQ(result.err, c.err) << c.answers;
    EXPECT_EQ(fs::exists(dir / "goodfiles.txt") ? read_file(dir / "goodfiles.txt") : "", c.good_files) << c.answers;
  }
}

// The real entries of ../shared/pdbx under the names the archive gives
// them: the three extended ids as pdb_000....
std::string extended_id(const std::string& id) {
  return id.size() == 5 && id != "afq5v" ? "pdb_000" + id : id;
}

// Where a divided mirror keeps an entry, `format` "cif" or "pdb": beneath the
// two characters before the id's last (ab/1abc.cif.gz, ab/pdb1abc.ent.gz,
// xs/pdb_00017xsv.cif.gz); the model and the assembly file under their own
// names.
std::string mirror_name(const std::string& id, std::string_view format) {
  if (id == "afq5v") return format == "cif" ? "AF-Q5VSL9-F1-model_v4.cif" : "legacy/AF-Q5VSL9-F1-model_v4.pdb";
  if (id == "7cmaas1") return "cm/7cma-assembly1.cif";
  const std::string name = extended_id(id);
  const std::string hash = name.substr(name.size() - 3, 2);
  return format == "cif" ? hash + "/" + name + ".cif" : hash + "/pdb" + name + ".ent";
}

// The export's name of an entry listed as `name`.
std::string export_of(std::string name, std::string_view mode) {
  EntryName entry = EntryName::whole(name);
  entry.rewrite_extension(mode == "1" ? "hel" : "bck");
  return std::string(entry.path());
}

class DividedMirror : public ::testing::TestWithParam<std::string> {};

// The 44 mmCIF and 40 legacy entries under the mirror's names in one run,
// on several threads, against the same entries read flat under short names.
TEST_P(DividedMirror, ExportsEqualThoseOfTheSameEntriesReadFlat) {
  const auto shared = testing_support::archive_entries();
  if (!shared) GTEST_SKIP() << testing_support::no_archive_entries();
  const std::string mode = GetParam();
  testing_support::TempDir divided;
  testing_support::TempDir flat;
  std::string divided_list;
  std::string flat_list;
  std::map<std::string, std::string> divided_export;  // by the flat export's name
  for (const std::string_view format : {"cif", "pdb"}) {
    const auto ids = format == "cif" ? testing_support::mmcif_ids(*shared) : testing_support::pair_ids(*shared);
    for (const std::string& id : ids) {
      const std::string name = mirror_name(id, format);
      const std::string short_name = (format == "cif" ? "" : "p") + id + "." + std::string(format);
      const std::string packed = read_file(*shared / (id + "." + std::string(format) + ".gz"));
      write_file(divided / "PDB" / (name + ".gz"), packed);
      write_file(flat / "PDB" / (short_name + ".gz"), packed);
      divided_list += name + "\n";
      flat_list += short_name + "\n";
      divided_export[export_of(short_name, mode)] = export_of(name, mode);
    }
  }
  write_file(divided / "Files.ini", divided_list);
  write_file(flat / "Files.ini", flat_list);
  fs::create_directories(divided / "source");
  fs::create_directories(flat / "source");
  const std::string answers = "2\nCA\n" + mode + "\n";
  const ToolRun mirror =
      run(divided.path(), answers, {"-k", "--no-pause", "-j", "3", "--long-names", "--allow-no-resolution"});
  const ToolRun short_names = run(flat.path(), answers, {"-k", "--no-pause", "--allow-no-resolution"});
  EXPECT_EQ(mirror.status, short_names.status);
  const auto count_line = [](const std::string& err) {
    return err.substr(std::min(err.rfind("extract: "), err.size()));
  };
  EXPECT_EQ(count_line(mirror.err), count_line(short_names.err));
  std::string expected_good_files;
  const std::string flat_good_files = read_file(flat / "goodfiles.txt");
  for (std::size_t at = 0; at < flat_good_files.size(); at = flat_good_files.find('\n', at) + 1) {
    const std::string shown = flat_good_files.substr(at + 1, flat_good_files.find('\r', at) - at - 1);
    const std::string name = shown.substr(0, shown.find(' '));
    const std::string& in_mirror = divided_export.at(name);
    expected_good_files += " " + std::string(EntryName::whole(in_mirror).shown()) + "\r\n";
    EXPECT_EQ(read_file(divided / "source" / in_mirror), read_file(flat / "source" / name)) << in_mirror;
  }
  EXPECT_EQ(read_file(divided / "goodfiles.txt"), expected_good_files);
}

INSTANTIATE_TEST_SUITE_P(Modes, DividedMirror, ::testing::Values("1", "2"));

}  // namespace
