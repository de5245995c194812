// The session: banner, the three questions, the file loop and the summary.

#include <algorithm>
#include <new>
#include <vector>

#include "driver/driver.hpp"

#include "records/failures.hpp"
#include "records/free_form.hpp"

namespace driver {
namespace {

using records::Output;

constexpr std::int32_t list_of_files = 2;
constexpr std::int32_t helix_mode = 1;
constexpr std::int32_t backbone_mode = 2;

// The directories, relative to the working directory, that entries are read
// from and exports written to.
constexpr std::string_view PDB = "PDB";
constexpr std::string_view source = "source";

// A line of asterisks under a heading: a blank, then `length` of them.
void write_rule(Output& console, std::size_t length) {
  constexpr std::string_view asterisks = "****************************************************************";
  console.record().text(" ").text(asterisks.substr(0, length)).end();
}

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

std::vector<FileName> ask_file_list(Output& console, records::LineSource& console_in, records::FileSource& source_of_files) {
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

void announce_entry(Output& console, const FileName& name) {
  console.free_form();
  console.free_form();
  console.record().text(" Extracting structure information from file ").A(name.view(), 12).end();
  write_rule(console, 55);
  console.free_form();
  console.record().text(" Processing now file ").A(name.view(), 12).end();
  console.free_form();
}

// A path below the working directory: the directory, "/", then the name.
std::string path_in(std::string_view directory, std::string_view name) {
  std::string path(directory);
  path.push_back('/');
  path.append(name);
  return path;
}

// What ends only its own entry under --keep-going: a failure of the entry's
// own file (missing, not readable, not a regular file, ending too early, a
// number that does not read, compressed data that is corrupt or unpacks
// past the size limit, a file that changed while it was read), a name
// refused for its export (it would lead out of source/, or holds a NUL),
// and memory that ran out while the entry was held. Everything else
// (Files.ini, the console, source/, goodfiles.txt) ends the run.
bool is_entry_own_failure(const records::IoError& error) {
  return error.unit() == input_unit || error.name_refused() || error.failure() == records::Failure::out_of_memory;
}

// An entry's own failure under --keep-going: its diagnostic, after all that
// the console has shown of the entry. Standard error that cannot be written
// does not end the run: the exit status tells that entries failed.
void report_entry_failure(Output& console, Output& errors, const records::IoError& error) {
  console.flush();
  try {
    errors.record().text(error.line()).end();
  } catch (const records::IoError&) {
    // Standard error is full or gone; nothing more will be written to it.
  }
}

void write_good_files(const std::vector<FileName>& files, const std::vector<char>& good) {
  Output list = Output::replace(good_files_unit, "goodfiles.txt");
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (good[i] != 0) list.free_form(files[i].view());
  }
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
  std::vector<FileName> files = ask_file_list(console, console_in, *settings.files);
  std::vector<char> good(files.size(), 1);
  const reading::AtomType atom_type = ask_atom_type(console, console_in);
  const std::int32_t mode = ask_mode(console, console_in);

  Summary summary{files.size(), 0};
  records::Input entry(input_unit, *settings.files);
  entry.limit_size(settings.max_entry_size);
  reading::READING component(console, entry);
  // Made now: once memory has run out, telling it must not need any.
  const records::IoError out_of_memory(records::Failure::out_of_memory);
  const auto passed_over = [&](const records::IoError& error) {
    if (!settings.keep_going || settings.errors == nullptr || !is_entry_own_failure(error)) return false;
    report_entry_failure(console, *settings.errors, error);
    ++summary.failed;
    return true;
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    FileName& name = files[i];
    if (verbose) announce_entry(console, name);

    const reading::EntryPath entry_path(path_in(PDB, name.view()));
    // Every entry starts from no resolution, so an entry that states none
    // never shows the one before it.
    float resolution = 0.0F;
    std::optional<reading::AtomList> atoms;
    bool exported = false;
    try {
      if (mode == helix_mode) {
        component.HELICES(entry_path, resolution, atoms, verbose, atom_type);
        rewrite_extension(name, "hel");
      } else if (mode == backbone_mode) {
        component.BACKBONES(entry_path, resolution, atoms, verbose, atom_type);
        rewrite_extension(name, "bck");
      }
      if (atoms) {
        console.free_form();
        console.record().text(" Exporting C-alpha coordinates to file ").A(name.view(), 12).end();
        if (verbose) {
          write_rule(console, 50);
          console.free_form();
        }
        // Beneath source/ only: a name that would lead out of it is refused.
        write_export(source, name.trimmed(), atom_type, resolution, *atoms);
        exported = true;
      }
    } catch (const records::IoError& error) {
      if (!passed_over(error)) throw;
    } catch (const std::bad_alloc&) {
      if (!passed_over(out_of_memory)) throw;
    }
    atoms.reset();

    if (!exported) {
      if (verbose) {
        console.record().text(" This file will be ignored. Please check if it is applicable.").end();
        console.free_form();
      }
      if (settings.no_pause) {
        records::pause_without_waiting(console);
      } else {
        records::pause(console, console_in, settings.run_command);
      }
      good[i] = 0;
    }
  }

  write_good_files(files, good);
  console.free_form();
  console.record().text(" DONE ! ").end();
  console.free_form();
  return summary;
}

}  // namespace driver
