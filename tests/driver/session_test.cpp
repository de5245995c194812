// The whole dialogue, run in this process with the answers typed from a
// string and the console in memory; the run of a pause command, which needs
// the real console and command processor, runs the built program.

#include <gtest/gtest.h>

#include "entries.hpp"
#include "run_tool.hpp"
#include "session_in_process.hpp"
#include "support.hpp"

namespace {

using testing_support::crlf;
using testing_support::EntryText;
using testing_support::read_file;
using testing_support::SessionOutcome;
using testing_support::write_file;

constexpr std::string_view banner =
    " \n"
    " Computational physics project\n"
    " Merrin Tollaway, student of physics, 4th year\n"
    " Release 1.31 (2002/04/28)\n"
    " ***************************************************************\n"
    " \n"
    " PDB File coordinates quarryman\n"
    " \n"
    " How many PDB files would you like to process ?\n"
    " \n"
    " -> Type 1 for a single file or\n"
    " -> Type 2 for a list of files provided in Files.ini\n"
    " \n"
    " Please choose your option now : ";

constexpr std::string_view atom_and_mode_questions =
    " \n"
    " Which type of atoms would you like to extract ?\n"
    " \n"
    " Example : For alpha carbons type the two characters CA\n"
    " \n"
    " Please choose your atom now : "
    " \n"
    " What kind of information would you like to extract ?\n"
    " \n"
    " -> Type 1 for coordinates of atoms located in alpha helices.\n"
    " -> Type 2 for coordinates of atoms of the whole backbone of the protein.\n"
    " \n"
    " Please choose your option now : ";

constexpr std::string_view pause_prompt = "Korvane Pause - Enter command<CR> or <CR> to continue.\n";

std::string list_dialogue(int count) {
  char line[64];
  std::snprintf(line, sizeof line, "%10d", count);
  return std::string(banner) + " \n Opening Files.ini... -> " + line + " files to process\n \n" +
         std::string(atom_and_mode_questions);
}

std::string single_dialogue() {
  return std::string(banner) + " \n Please provide the filename of the PDB file :  \n" +
         std::string(atom_and_mode_questions);
}

std::string entry_heading(std::string_view name12) {
  return " \n \n Extracting structure information from file " + std::string(name12) +
         "\n *******************************************************\n \n Processing now file " + std::string(name12) +
         "\n \n";
}

std::string ignored(std::string_view name12) {
  return entry_heading(name12) + " This file will be ignored. Please check if it is applicable.\n \n" +
         std::string(pause_prompt);
}

constexpr std::string_view done = " \n DONE ! \n \n";

class Session : public ::testing::Test {
 protected:
  SessionOutcome run(std::string_view answers) { return session.run(answers); }
  bool exists(std::string_view name) const { return session.exists(name); }
  void add(std::string path, std::string content) { session.files.add(std::move(path), std::move(content)); }

  testing_support::SessionInProcess session;
  const testing_support::TempDir& dir = session.dir;
};

TEST_F(Session, AnyOtherModeIgnoresEveryEntryWithAPauseEach) {
  add("Files.ini", "1abc.pdb\n2xyz.pdb\n3def.pdb\n");
  const SessionOutcome run = this->run("2\nCA\n3\n\n\n\n");
  EXPECT_EQ(run.out, crlf(list_dialogue(3) + ignored("1abc.pdb    ") + ignored("2xyz.pdb    ") +
                          ignored("3def.pdb    ") + std::string(done)));
  EXPECT_EQ(run.failure, "");
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), "");
}

TEST_F(Session, EveryHowManyAnswerButTwoAsksForOneFile) {
  for (const std::string_view answer : {"1", "0", "3", "-1", "/", ",", "+1"}) {
    const SessionOutcome run = this->run(std::string(answer) + "\n1abc.pdb\nCA\n3\n\n");
    EXPECT_EQ(run.out, crlf(single_dialogue() + ignored("1abc.pdb    ") + std::string(done))) << answer;
  }
}

TEST_F(Session, AnEmptyListProcessesNothing) {
  add("Files.ini", "");
  write_file(dir / "goodfiles.txt", "from an earlier run\n");
  const SessionOutcome run = this->run("2\nCA\n2\n");
  EXPECT_EQ(run.out, crlf(list_dialogue(0) + std::string(done)));
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), "");
}

TEST_F(Session, ListRecordsAreTheirFirstTwelveColumnsBlankOnesIncluded) {
  add("Files.ini", "first.pdb\r\n\r\nname-longer-than-12.pdb\nlast");
  const SessionOutcome run = this->run("2\nCA\n0\n\n\n\n\n");
  EXPECT_EQ(run.out, crlf(list_dialogue(4) + ignored("first.pdb   ") + ignored("            ") +
                          ignored("name-longer-") + ignored("last        ") + std::string(done)));
}

TEST_F(Session, LinesTypedAtThePauseAreCommandsUntilAnEmptyOne) {
  const SessionOutcome run = this->run("1\nx.pdb\nCA\n7\necho one\n  \necho two\n\n");
  EXPECT_EQ(run.commands, (std::vector<std::string>{"echo one", "  ", "echo two"}));
  EXPECT_EQ(run.out, crlf(single_dialogue() + ignored("x.pdb       ") + std::string(pause_prompt) +
                          std::string(pause_prompt) + std::string(pause_prompt) + std::string(done)));
}

// A real command and the real console: what the command writes comes after
// the prompt, which the run must have shown first.
TEST(SessionOfTheProgram, PauseCommandsRunBeforeThePromptComesBack) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir / "source");
  const auto run =
      testing_support::run_tool(EXTRACT_BINARY, dir.path(), "1\nx.pdb\nCA\n7\necho typed at the pause\n\n");
  EXPECT_EQ(run.out,
            crlf(single_dialogue() + entry_heading("x.pdb       ") +
                 " This file will be ignored. Please check if it is applicable.\n \n" + std::string(pause_prompt)) +
                "typed at the pause\n" + crlf(std::string(pause_prompt) + std::string(done)));
  EXPECT_EQ(run.status, 0);
}

TEST_F(Session, FailuresEndTheRunWithTheirDiagnosticAndLeaveGoodFiles) {
  struct Case {
    std::string_view what;
    std::string answers;
    std::string diagnostic;
  };
  const std::string eof = "extract: severe (24): end-of-file during read, unit 5, file stdin";
  const Case cases[] = {
      {"a missing Files.ini", "2\nCA\n2\n", "extract: severe (29): file not found, unit 1, file Files.ini"},
      {"a missing entry", "1\nnone.pdb\nCA\n2\n", "extract: severe (29): file not found, unit 1, file PDB/none.pdb"},
      {"a blank name names the directory", "1\n''\nCA\n2\n", "extract: severe (30): open failure, unit 1, file PDB/"},
      {"a word for a number", "two\n", "extract: severe (59): list-directed I/O syntax error, unit 5, file stdin"},
      {"a number for the mode", "1\nx.pdb\nCA\n1.5\n",
       "extract: severe (59): list-directed I/O syntax error, unit 5, file stdin"},
      {"the end of input at the first question", "", eof},
      {"the end of input at the name", "1\n", eof},
      {"the end of input at the atom", "1\nx.pdb\n", eof},
      {"the end of input at the mode", "1\nx.pdb\nCA\n", eof},
      {"the end of input at the pause", "1\nx.pdb\nCA\n3\n", eof},
  };
  add("PDB/other.pdb", "");  // so that PDB/ is a directory
  for (const auto& c : cases) {
    write_file(dir / "goodfiles.txt", "kept\n");
    const SessionOutcome run = this->run(c.answers);
    EXPECT_EQ(run.failure, c.diagnostic) << c.what;
    EXPECT_EQ(read_file(dir / "goodfiles.txt"), "kept\n") << c.what;
  }
}

TEST_F(Session, ExportNamesTakeTheModesExtension) {
  const std::string entry = testing_support::helix_chain_entry(3);
  struct Case {
    std::string_view name;
    std::string_view mode;
    std::string_view export_name;  // as shown: 12 characters
  };
  const Case cases[] = {
      {"1abc.pdb", "1", "1abc.hel    "},     {"1abc.pdb", "2", "1abc.bck    "},
      {"1abc.ent.gz", "2", "1abc.bck.gz "},  {"pdb1abc", "2", "pdb1abc.bck "},
      {"abcdefghi.pd", "2", "abcdefghi.bc"}, {"abcdefghijk.", "2", "abcdefghijk."},
      {"abcdefghijkl", "1", "abcdefghijkl"},
  };
  for (const auto& c : cases) {
    add("PDB/" + std::string(c.name), entry);
    const SessionOutcome run = this->run("1\n" + std::string(c.name) + "\nCA\n" + std::string(c.mode) + "\n");
    EXPECT_EQ(run.failure, "") << c.name;
    EXPECT_NE(run.out.find(" Exporting C-alpha coordinates to file " + std::string(c.export_name) + "\r\n"),
              std::string::npos)
        << c.name;
    std::string trimmed(c.export_name);
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    EXPECT_TRUE(exists("source/" + trimmed)) << c.name;
    EXPECT_EQ(read_file(dir / "goodfiles.txt"), " " + std::string(c.export_name) + "\r\n") << c.name;
  }
}

TEST_F(Session, EachEntryStartsWithoutAResolution) {
  const auto entry = [](std::string_view resolution) {
    auto e = EntryText::with_header(resolution);
    e.add(testing_support::seqres_record('A', 1)).add_chain('A', 1, 1, 1);
    return e.text();
  };
  add("PDB/first.pdb", entry("    1.70 ANGSTROMS."));
  add("PDB/second.pdb", entry(" NOT APPLICABLE."));
  add("Files.ini", "first.pdb\nsecond.pdb\n");
  const SessionOutcome run = this->run("2\nCA\n2\n");
  EXPECT_EQ(run.failure, "");
  EXPECT_NE(read_file(dir / "source/first.bck").find("Resolution [\u00c5] : 1.70\r\n"), std::string::npos);
  EXPECT_NE(read_file(dir / "source/second.bck").find("Resolution [\u00c5] : 0.00\r\n"), std::string::npos);
  EXPECT_EQ(read_file(dir / "goodfiles.txt"), " first.bck   \r\n second.bck  \r\n");
}

TEST_F(Session, AFailingEntryKeepsTheExportsWrittenBeforeIt) {
  add("PDB/good.pdb", testing_support::chain_entry(2));
  add("PDB/bad.pdb", "HEADER\nTITLE\n");
  write_file(dir / "source/bad.bck", "an export of an earlier run\n");
  add("Files.ini", "good.pdb\nbad.pdb\n");
  const SessionOutcome run = this->run("2\nCA\n2\n");
  EXPECT_EQ(run.failure, "extract: severe (24): end-of-file during read, unit 1, file PDB/bad.pdb");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), std::count(run.out.begin(), run.out.end(), '\r'));
  EXPECT_EQ(read_file(dir / "source/good.bck"),
            crlf("Atom cartesian coordinates from PDB\n"
                 "Brindlemark project. File created using Quarryman.\n"
                 " \n"
                 "Atom type :  CA \n"
                 "Resolution [\u00c5] : 2.00\n"
                 " \n"
                 "Entry     x [\u00c5]     y [\u00c5]     z [\u00c5]  residue  chain\n"
                 " \n"
                 "    1     1.500    -0.250    10.000        1      A\n"
                 "    2     3.000    -0.500    10.000        2      A\n"));
  EXPECT_EQ(read_file(dir / "source/bad.bck"), "an export of an earlier run\n");
  EXPECT_FALSE(exists("goodfiles.txt"));
}

TEST_F(Session, WhatTheAtomAnswerBecomes) {
  add("PDB/e.pdb", testing_support::chain_entry(1));
  struct Case {
    std::string_view answer;
    std::string_view atom_type_record;
  };
  const Case cases[] = {{"CA", "Atom type :  CA "},
                        {"N", "Atom type :  N  "},
                        {"CA12", "Atom type :  CA1"},
                        {"'C A'", "Atom type :  C A"},
                        {"/", "Atom type :     "}};
  for (const auto& c : cases) {
    const SessionOutcome run = this->run("1\ne.pdb\n" + std::string(c.answer) + "\n2\n");
    EXPECT_NE(read_file(dir / "source/e.bck").find(std::string(c.atom_type_record) + "\r\n"), std::string::npos)
        << c.answer;
  }
}

}  // namespace
