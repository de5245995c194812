// The session: banner, the three questions, the file loop and the summary.

#include <vector>

#include "driver/driver.hpp"
#include "file_loop.hpp"
#include "records/failures.hpp"
#include "records/free_form.hpp"

namespace driver {
namespace {

using records::Output;

constexpr std::int32_t list_of_files = 2;

void write_banner(Output& console, bool verbose) {
  if (verbose) {
    console.free_form();
    console.record().text(" Computational physics project").end();
    console.record().text(" Merrin Tollaway, student of physics, 4th year").end();
    console.free_form("Release 1.31 (2002/04/28)");
    write_rule(console, 63);
    console.free_form();
  }
  console.record().text(" PDB File coordinates quarryman").end();
  console.free_form();
  console.record().text(" How many PDB files would you like to process ?").end();
  console.free_form();
  console.record().text(" -> Type 1 for a single file or").end();
  console.record().text(" -> Type 2 for a list of files provided in Files.ini").end();
  console.free_form();
}

// The names in Files.ini, one per record in columns 1-12, every record
// counted, blank ones included.
std::vector<FileName> read_file_list(Output& console, records::FileSource& source_of_files) {
  console.record().text(" Opening Files.ini... -> ").hold();
  records::Input list(input_unit, source_of_files);
  list.open_old("Files.ini");
  list.rewind();
  std::size_t count = 0;
  while (list.read()) ++count;
  // The names in memory are held to the limit of the file itself: a list of
  // empty lines takes twelve times its size.
  if (count > records::default_size_limit / sizeof(FileName)) list.fail(records::Failure::too_large);

  // Filled as the names are read, which look for control events as they
  // go, rather than all set blank at once: 150 million lines took a second
  // that no key could stop.
  std::vector<FileName> files;
  files.reserve(count);
  list.rewind();
  for (std::size_t i = 0; i < count; ++i) records::FieldReader(list.read_or_fail()).A(12, files.emplace_back());
  list.close();

  console.record().I(records::as_count(count), 10).text(" files to process").end();
  console.free_form();
  return files;
}

std::vector<FileName> ask_file_list(Output& console, records::LineSource& console_in,
                                    records::FileSource& source_of_files) {
  console.record().text(" Please choose your option now : ").hold();
  std::int32_t how_many = 0;
  records::read_free(console_in, how_many);
  console.free_form();
  if (how_many == list_of_files) return read_file_list(console, source_of_files);

  std::vector<FileName> files(1);
  console.record().text(" Please provide the filename of the PDB file : ").hold();
  records::read_free(console_in, files.front());
  console.free_form();
  return files;
}

reading::AtomType ask_atom_type(Output& console, records::LineSource& console_in) {
  records::Chars<3> answer;
  console.free_form();
  console.record().text(" Which type of atoms would you like to extract ?").end();
  console.free_form();
  console.record().text(" Example : For alpha carbons type the two characters CA").end();
  console.free_form();
  console.record().text(" Please choose your atom now : ").hold();
  records::read_free(console_in, answer);
  // The form of the atom-name columns of a coordinate record: " CA ".
  reading::AtomType atom_type;
  for (std::size_t i = 0; i < answer.size(); ++i) atom_type[i + 1] = answer[i];
  return atom_type;
}

std::int32_t ask_mode(Output& console, records::LineSource& console_in) {
  console.free_form();
  console.record().text(" What kind of information would you like to extract ?").end();
  console.free_form();
  console.record().text(" -> Type 1 for coordinates of atoms located in alpha helices.").end();
  console.record().text(" -> Type 2 for coordinates of atoms of the whole backbone of the protein.").end();
  console.free_form();
  console.record().text(" Please choose your option now : ").hold();
  std::int32_t mode = 0;
  records::read_free(console_in, mode);
  return mode;
}

void write_good_files(const std::vector<FileName>& exported) {
  Output list = Output::replace(good_files_unit, "goodfiles.txt");
  for (const FileName& name : exported) list.free_form(name.view());
  list.close();
}

}  // namespace

void rewrite_extension(FileName& name, std::string_view letters) {
  const std::string_view text = name.view();
  std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    // A name without a dot gets one, rather than losing its first letters.
    dot = name.trimmed().size();
    if (dot >= name.size()) return;
    name[dot] = '.';
  }
  for (std::size_t i = 0; i < letters.size() && dot + 1 + i < name.size(); ++i) name[dot + 1 + i] = letters[i];
}

Summary EXTRACT(Output& console, records::LineSource& console_in, const Settings& settings) {
  const bool verbose = true;

  write_banner(console, verbose);
  const std::vector<FileName> files = ask_file_list(console, console_in, *settings.files);
  const reading::AtomType atom_type = ask_atom_type(console, console_in);
  const std::int32_t mode = ask_mode(console, console_in);

  Summary summary{files.size(), 0};
  const std::vector<FileName> exported =
      run_file_loop(console, console_in, Job{settings, atom_type, mode, verbose}, files, summary);

  write_good_files(exported);
  console.free_form();
  console.record().text(" DONE ! ").end();
  console.free_form();
  return summary;
}

}  // namespace driver
