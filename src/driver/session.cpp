// The session: banner, the three questions, the file loop and the summary.

#include <optional>
#include <vector>

#include "driver/driver.hpp"
#include "file_loop.hpp"
#include "records/failures.hpp"
#include "records/free_form.hpp"

namespace driver {
namespace {

using records::Output;

constexpr std::int32_t list_of_files = 2;
constexpr std::int32_t helix_mode = 1;
constexpr std::int32_t backbone_mode = 2;

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

// The names in Files.ini, one per record in columns 1-12 (or whole), every
// record counted, blank ones included.
EntryList read_file_list(Output& console, records::FileSource& source_of_files, bool long_names) {
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
  EntryList files(long_names);
  files.reserve(count);
  list.rewind();
  for (std::size_t i = 0; i < count; ++i) files.add(list.read_or_fail());
  list.close();

  console.record().I(records::as_count(count), 10).text(" files to process").end();
  console.free_form();
  return files;
}

EntryList ask_file_list(Output& console, records::LineSource& console_in, const Settings& settings) {
  console.record().text(" Please choose your option now : ").hold();
  std::int32_t how_many = 0;
  records::read_free(console_in, how_many);
  console.free_form();
  if (how_many == list_of_files) return read_file_list(console, *settings.files, settings.long_names);

  EntryList files(settings.long_names);
  console.record().text(" Please provide the filename of the PDB file : ").hold();
  if (settings.long_names) {
    files.add(records::read_free_line(console_in));
  } else {
    FileName name;
    records::read_free(console_in, name);
    files.add(name.view());
  }
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

// 1 helix mode, 2 backbone mode; any other answer extracts nothing.
std::optional<reading::Purpose> ask_mode(Output& console, records::LineSource& console_in) {
  console.free_form();
  console.record().text(" What kind of information would you like to extract ?").end();
  console.free_form();
  console.record().text(" -> Type 1 for coordinates of atoms located in alpha helices.").end();
  console.record().text(" -> Type 2 for coordinates of atoms of the whole backbone of the protein.").end();
  console.free_form();
  console.record().text(" Please choose your option now : ").hold();
  std::int32_t mode = 0;
  records::read_free(console_in, mode);
  if (mode == helix_mode) return reading::Purpose::helices;
  if (mode == backbone_mode) return reading::Purpose::backbones;
  return std::nullopt;
}

void write_good_files(const std::vector<EntryName>& exported) {
  Output list = Output::replace(good_files_unit, "goodfiles.txt");
  for (const EntryName& name : exported) list.free_form(name.shown());
  list.close();
}

}  // namespace

Summary EXTRACT(Output& console, records::LineSource& console_in, const Settings& settings) {
  const bool verbose = true;

  write_banner(console, verbose);
  const EntryList files = ask_file_list(console, console_in, settings);
  const reading::AtomType atom_type = ask_atom_type(console, console_in);
  const std::optional<reading::Purpose> purpose = ask_mode(console, console_in);

  Summary summary{files.size(), 0};
  const std::vector<EntryName> exported =
      run_file_loop(console, console_in, Job{settings, atom_type, purpose, verbose}, files, summary);

  write_good_files(exported);
  console.free_form();
  console.record().text(" DONE ! ").end();
  console.free_form();
  return summary;
}

}  // namespace driver
