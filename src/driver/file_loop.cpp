// The file loop. An entry is read and extracted, its report made and its
// export written to a temporary (`EntryReader::read`); then it is committed
// (`Committer::commit`): its report shown, its export given its name, its
// failure told, its pause held. With one job each entry is committed before
// the next is read, so a command typed at a pause sees every later entry
// unread; with more, helper threads read ahead and the commits keep list
// order, so the console, the files and standard error are those of one job.

#include "file_loop.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "progress.hpp"
#include "read_ahead.hpp"
#include "records/names.hpp"

namespace driver {
namespace {

using records::Output;

// The directories, relative to the working directory, that entries are read
// from and exports written to.
constexpr std::string_view PDB = "PDB";
constexpr std::string_view source = "source";

void announce_entry(Output& console, const EntryName& name) {
  console.free_form();
  console.free_form();
  console.record().text(" Extracting structure information from file ").text(name.shown()).end();
  write_rule(console, 55);
  console.free_form();
  console.record().text(" Processing now file ").text(name.shown()).end();
  console.free_form();
}

// What ends only its own entry under --keep-going: a failure of the entry's
// own file (missing, not readable, not a regular file, ending too early, a
// number that does not read, compressed data that is corrupt or unpacks
// past the size limit, a file that changed while it was read), a name
// refused for its export (it would lead out of source/, or holds a NUL) or
// whose directories beneath source/ are not there, and memory that ran out
// while the entry was held. Everything else (the console, source/) ends
// the run.
//
// Asked only of failures met while an entry is read and exported, so unit 1
// there is the entry: Files.ini, which shares the unit, was read and closed
// before the first entry, and its failures never come here.
bool is_entry_own_failure(const records::IoError& error) {
  return error.unit() == input_unit || error.of_the_name() || error.failure() == records::Failure::out_of_memory;
}

bool passes_over_entries(const Settings& settings) {
  return settings.keep_going && settings.errors != nullptr;
}

// Everything the run shows and writes of an entry, one entry after another
// in list order.
class Committer {
 public:
  Committer(Output& console, records::LineSource& console_in, const Job& job, Progress& progress, Summary& summary)
      : console_(console),
        console_in_(console_in),
        settings_(job.settings),
        verbose_(job.verbose),
        progress_(progress),
        summary_(summary) {}

  void commit(EntryOutcome& outcome);
  std::vector<EntryName> exported;

 private:
  void report_failure(const records::IoError& error);
  void pause();

  Output& console_;
  records::LineSource& console_in_;
  const Settings& settings_;
  bool verbose_;
  Progress& progress_;
  Summary& summary_;
  std::size_t done_ = 0;
  // Exports read ahead are unnamed files, linked to their names at once
  // until a name is found taken (a batch run again over its exports).
  Output::Naming naming_ = Output::Naming::name_free;
  // Made now: once memory has run out, telling it must not need any.
  const records::IoError out_of_memory_{records::Failure::out_of_memory};
};

void Committer::commit(EntryOutcome& outcome) {
  progress_.before_console_output();
  if (outcome.transcript) console_.write_records(outcome.transcript->text());
  if (outcome.fatal) std::rethrow_exception(outcome.fatal);

  if (outcome.export_file) {
    outcome.export_file->close(naming_);
    exported.push_back(outcome.name);
  } else {
    if (outcome.own_failure || outcome.out_of_memory) {
      report_failure(outcome.out_of_memory ? out_of_memory_ : *outcome.own_failure);
      ++summary_.failed;
    }
    if (verbose_) {
      console_.record().text(" This file will be ignored. Please check if it is applicable.").end();
      console_.free_form();
    }
    pause();
  }
  progress_.update(++done_, summary_.failed);
}

// An entry's own failure under --keep-going: its diagnostic, after all that
// the console has shown of the entry. Standard error that cannot be written
// does not end the run: the exit status tells that entries failed.
void Committer::report_failure(const records::IoError& error) {
  console_.flush();
  progress_.erase();
  try {
    settings_.errors->record().text(error.line()).end();
  } catch (const records::IoError&) {
    // Standard error is full or gone; nothing more will be written to it.
  }
}

void Committer::pause() {
  if (settings_.no_pause) {
    records::pause_without_waiting(console_);
    return;
  }
  // A command typed at the pause may write to the terminal of the line.
  records::pause(console_, console_in_, [this](const std::string& command) {
    progress_.erase();
    return settings_.run_command(command);
  });
}

// Descriptors kept for what is not read ahead: the standard ones, the
// wake-up call, the committing thread's files and directories.
constexpr std::size_t descriptors_kept = 16;
// And for each helper thread: its entry, its export and the directory the
// export is made in.
constexpr std::size_t descriptors_per_thread = 3;

struct ReadAheadShape {
  std::size_t threads;
  std::size_t window;
};

// The helper threads and the window for `jobs` asked on `entries`: no more
// threads than entries, nor than `threads_per_processor` for each
// processor the run may use; and each entry ready holds its export open
// until it is committed, so the window stays within the descriptors the
// run may open (RLIMIT_NOFILE).
ReadAheadShape read_ahead_shape(unsigned jobs, std::size_t entries) {
  std::size_t threads =
      std::min<std::size_t>({jobs, entries, std::size_t{threads_per_processor} * usable_processors()});
  std::size_t window = window_per_thread * threads;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const auto open = static_cast<std::size_t>(limit.rlim_cur);
    const std::size_t needed = descriptors_kept + descriptors_per_thread * threads;
    window = open > needed ? std::min(window, open - needed) : 0;
    threads = std::min(threads, window);
  }
  return {threads, window};
}

// Entry `listed` read on this thread, its report shown as it is made, and
// committed before anything else is read.
void read_in_turn(Output& console, EntryReader& reader, const EntryName& listed, Progress& progress,
                  Committer& committer) {
  progress.before_console_output();
  EntryOutcome outcome = reader.read(listed, &console);
  committer.commit(outcome);
}

// Read ahead from entry `first` on, and committed in turn, until the list
// ends or an entry is to be read again alone; returns the index it stopped
// at. False when no thread could be started.
std::optional<std::size_t> read_ahead_from(std::size_t first, Output& console, const Job& job,
                                           const EntryList& files, const ReadAheadShape& shape,
                                           Progress& progress, Committer& committer) {
  const std::size_t count = files.size() - first;
  std::optional<Ahead> ahead;
  try {
    ahead.emplace(
        count, std::min(shape.threads, count), shape.window, report_held_per_thread * shape.threads,
        [](const EntryOutcome& outcome) { return outcome.transcript ? outcome.transcript->text().size() : 0; },
        [&job, &files, first]() -> Ahead::Work {
          auto reader = std::make_shared<EntryReader>(job);
          return [reader, &files, first](std::size_t index, Ahead::Turn& turn) {
            return reader->read(files[first + index], nullptr, &turn);
          };
        });
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  // An entry's report handed over before its work is done goes to the
  // console as it comes, as with one job.
  const auto show = [&](std::string_view records) {
    progress.before_console_output();
    console.write_records(records);
  };
  for (std::size_t i = first; i < files.size(); ++i) {
    EntryOutcome outcome = ahead->next([&progress] { progress.tick(); }, show);
    if (outcome.read_again_alone) return i;
    committer.commit(outcome);
  }
  return files.size();
}

}  // namespace

void write_rule(Output& console, std::size_t length) {
  constexpr std::string_view asterisks = "****************************************************************";
  console.record().text(" ").text(asterisks.substr(0, length)).end();
}

EntryReader::EntryReader(const Job& job) : job_(job), entry_(input_unit, *job.settings.files) {
  entry_.limit_size(job.settings.max_entry_size);
}

EntryOutcome EntryReader::read(const EntryName& listed, Output* console, Ahead::Turn* turn) {
  EntryOutcome outcome;
  outcome.name = listed;
  try {
    if (console == nullptr)
      outcome.transcript.emplace(turn != nullptr ? Output::in_memory(*turn) : Output::in_memory());
    Output& report = console != nullptr ? *console : *outcome.transcript;
    if (job_.verbose) announce_entry(report, outcome.name);

    // A whole name could name anything: it is read beneath PDB/ only, and
    // only as the system can take it.
    const bool long_names = job_.settings.long_names;
    if (long_names) records::refuse_unless_beneath(input_unit, PDB, outcome.name.path());
    const reading::EntryPath entry_path = records::path_beneath(PDB, outcome.name.path());
    // Every entry starts from no resolution, so an entry that states none
    // never shows the one before it.
    float resolution = 0.0F;
    std::optional<reading::AtomList> atoms;
    reading::READING component(report, entry_, {.allow_no_resolution = job_.settings.allow_no_resolution});
    if (job_.purpose == reading::Purpose::helices) {
      component.HELICES(entry_path, resolution, atoms, job_.verbose, job_.atom_type);
      outcome.name.rewrite_extension("hel");
    } else if (job_.purpose == reading::Purpose::backbones) {
      component.BACKBONES(entry_path, resolution, atoms, job_.verbose, job_.atom_type);
      outcome.name.rewrite_extension("bck");
    }

    if (atoms) {
      report.free_form();
      report.record().text(" Exporting C-alpha coordinates to file ").text(outcome.name.shown()).end();
      if (job_.verbose) {
        write_rule(report, 50);
        report.free_form();
      }
      // Beneath source/ only: a name that would lead out of it is refused.
      // A whole name's directories are made there as the mirror has them.
      // Read ahead, the export is made without a name: only the committing
      // thread changes source/, so the helpers never wait for its lock.
      if (long_names) records::refuse_unless_beneath(export_unit, source, outcome.name.path());
      const auto directories = long_names ? Output::Directories::made : Output::Directories::there;
      const auto temporary = console != nullptr ? records::Temporary::named : records::Temporary::unnamed;
      outcome.export_file.emplace(
          write_export(source, outcome.name.path(), job_.atom_type, resolution, *atoms, directories, temporary));
    }
  } catch (const records::IoError& error) {
    if (passes_over_entries(job_.settings) && is_entry_own_failure(error)) {
      outcome.own_failure = error;
    } else {
      outcome.fatal = std::current_exception();
    }
  } catch (const std::bad_alloc&) {
    // Memory that ran out while entries were read side by side may be
    // enough for this one alone, as with one job: it is read again so,
    // unless some of its report was shown already. Otherwise it is the
    // entry's own failure, told with a diagnostic made in advance: one
    // made now would need memory.
    if (turn != nullptr && !turn->handed_over()) {
      outcome.read_again_alone = true;
      outcome.transcript.reset();
    } else if (passes_over_entries(job_.settings)) {
      outcome.out_of_memory = true;
    } else {
      outcome.fatal = std::current_exception();
    }
  } catch (...) {
    outcome.fatal = std::current_exception();
  }
  return outcome;
}

std::vector<EntryName> run_file_loop(Output& console, records::LineSource& console_in, const Job& job,
                                     const EntryList& files, Summary& summary) {
  const Settings& settings = job.settings;
  Progress progress(settings.progress ? settings.errors : nullptr, settings.console_on_terminal, files.size());
  Committer committer(console, console_in, job, progress, summary);
  const ReadAheadShape shape = read_ahead_shape(settings.jobs, files.size());
  // Each thread holds its entry; the ones ready hold only their report and
  // their export, written and open.
  std::optional<EntryReader> alone;
  std::size_t next = 0;
  while (next < files.size()) {
    std::optional<std::size_t> stopped;
    if (shape.threads > 1) stopped = read_ahead_from(next, console, job, files, shape, progress, committer);
    if (!alone) alone.emplace(job);
    if (!stopped) {
      // One job, or no thread to be had: one job does the same.
      for (; next < files.size(); ++next) read_in_turn(console, *alone, files[next], progress, committer);
      break;
    }
    next = *stopped;
    // Memory ran out for this entry while others were read beside it: the
    // helpers have let go of everything they held, and it is read alone.
    if (next < files.size()) read_in_turn(console, *alone, files[next++], progress, committer);
  }
  return std::move(committer.exported);
}

}  // namespace driver
