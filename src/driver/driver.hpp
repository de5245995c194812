// EXTRACT, the main program: the dialogue, one extraction per PDB entry, the
// export files and goodfiles.txt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "driver/entry_name.hpp"
#include "reading/reading.hpp"
#include "records/chars.hpp"
#include "records/console.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "records/pause.hpp"

namespace driver {

// The session's connections, as its diagnostics name them.
inline constexpr int input_unit = 1;  // Files.ini, then each PDB entry
inline constexpr int export_unit = 2;
inline constexpr int good_files_unit = 3;

// How a session runs besides what is answered: the command line's choices,
// and where files come from and typed commands go.
struct Settings {
  // An entry whose own file fails is reported on `errors` and passed over,
  // instead of ending the run.
  bool keep_going = false;
  // Every pause goes on at once, as if an empty line had been typed.
  bool no_pause = false;
  // An entry larger than this, or whose compressed data unpacks to more,
  // fails as that entry's own failure.
  std::size_t max_entry_size = records::default_size_limit;
  // Entries read at once. With 1 each entry is read once the one before it
  // is committed; with more they are read ahead on that many threads, and
  // everything is still shown and written in list order, as with 1.
  unsigned jobs = 1;
  // A progress line on `errors`, which is then a terminal; erased before
  // console output too when the console is on a terminal.
  bool progress = false;
  bool console_on_terminal = false;
  // Names are whole records and whole answers, not their first 12 columns,
  // and may hold directories, which are made beneath source/ for the
  // exports.
  bool long_names = false;
  // An entry that states no resolution is read as one whose resolution
  // does not apply.
  bool allow_no_resolution = false;
  records::Output* errors = nullptr;  // needed with `keep_going` or `progress`
  records::FileSource* files = &records::file_system();
  records::CommandRunner run_command = records::run_shell_command;
};

struct Summary {
  std::size_t entries = 0;  // in the file list
  std::size_t failed = 0;   // passed over under `keep_going`
};

// The whole session, on the given console.
Summary EXTRACT(records::Output& console, records::LineSource& console_in, const Settings& settings = {});

// The session as the process runs it, to its end: a failure that ends it is
// told in one last line on `errors`, after all that the console shows.
// Returns the exit status: 0, 1 for an I/O failure or memory, 3 when
// entries failed under `keep_going`, 128 + n for a control event of signal
// n, which decides the ending whatever failed after it arrived.
int run_to_the_end(records::Output& console, records::LineSource& console_in, records::Output& errors,
                   Settings settings);

// Writes the export file of one entry to `name` beneath `directory`
// (connection 2), complete under a temporary (`temporary`); closing it
// replaces any file of that name. A name that would lead out of the
// directory is refused; the directories it holds are made when
// `directories` says so.
records::Output write_export(std::string_view directory, std::string_view name, const reading::AtomType& atom_type,
                             float resolution, const reading::AtomList& atoms,
                             records::Output::Directories directories = records::Output::Directories::there,
                             records::Temporary temporary = records::Temporary::named);

// ---------------------------------------------------------------------------
// The command line

struct Run {
  Settings settings;
};
// What to print instead of running, where, and the exit status.
struct Answer {
  std::string text;
  bool to_standard_error = false;
  int status = 0;
};

// The processors this run may use: all that are online, unless it is
// confined to some (taskset, a batch system's allocation).
unsigned usable_processors();

// Options are the only arguments: -k/--keep-going, --no-pause,
// --max-entry-size=SIZE, -j/--jobs N (0: one per processor the run may
// use), --progress, --long-names, --allow-no-resolution, -h/--help,
// -V/--version. Anything else is answered with the usage and status 2.
std::variant<Run, Answer> parse_command_line(int argc, char* argv[]);

}  // namespace driver
