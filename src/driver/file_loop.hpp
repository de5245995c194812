// The file loop: each entry of the list read, extracted and written to a
// temporary, then committed in list order, on one thread or read ahead on
// several. Both ways run the same two steps, so the rules are written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "driver/driver.hpp"
#include "read_ahead.hpp"
#include "records/failures.hpp"

namespace driver {

// Read ahead, the entries in the window per thread: the one it reads, and
// the others ready for the commits, which take them in runs (see
// ReadAhead). With fewer the committing thread sleeps and wakes for nearly
// every entry of a batch of small ones; more gained next to nothing
// (bench/README.md).
inline constexpr std::size_t window_per_thread = 8;

// Helper threads for each processor the run may use, at most, whatever -j
// asks: threads beyond the processors only take turns on them, each turn
// costing time (bench/README.md); the second per processor is there for
// a thread that waits for its entry to come from disk.
inline constexpr unsigned threads_per_processor = 2;

// The reports that entries read ahead may hold in memory until their turn,
// for each helper thread; past that an entry waits, and once its turn has
// come its report goes to the console as it is made (see ReadAhead). A
// report can be far larger than its entry (helices that overlap list
// their atoms again and again), so without a bound the window's reports
// would take memory no entry does.
inline constexpr std::size_t report_held_per_thread = std::size_t{2} << 20;

// What every entry of the run is read with.
struct Job {
  const Settings& settings;
  reading::AtomType atom_type;
  std::optional<reading::Purpose> purpose;  // none: the mode answered asks for no extraction
  bool verbose;
};

// What one entry comes to before it is committed, which needs nothing from
// the entries before it.
struct EntryOutcome {
  EntryName name;                               // as the export and goodfiles.txt show it
  std::optional<records::Output> transcript;    // what a helper thread's console would have shown
  std::optional<records::Output> export_file;   // complete, under its temporary name
  std::optional<records::IoError> own_failure;  // an entry passed over under --keep-going
  bool out_of_memory = false;                   // the same, for memory that ran out
  bool read_again_alone = false;                // memory ran out while read ahead: nothing else to tell
  std::exception_ptr fatal;                     // ends the run once the entry's report is shown
};

using Ahead = ReadAhead<EntryOutcome>;

// Reads entries one after another on one thread, keeping the entry's
// connection and memory from one entry to the next.
class EntryReader {
 public:
  explicit EntryReader(const Job& job);

  // The entry `listed`: its report goes to `console` when given (one
  // thread) or into the outcome's transcript (read ahead, held within
  // `turn`), in the order the console shows it. Never throws: whatever ends
  // the entry or the run is in the outcome.
  EntryOutcome read(const EntryName& listed, records::Output* console, Ahead::Turn* turn = nullptr);

 private:
  const Job& job_;
  records::Input entry_;
};

// The file loop over `files`; returns the names of the exports made, in
// list order, and counts the entries that failed in `summary`.
std::vector<EntryName> run_file_loop(records::Output& console, records::LineSource& console_in, const Job& job,
                                     const EntryList& files, Summary& summary);

// A line of asterisks under a heading: a blank, then `length` of them.
void write_rule(records::Output& console, std::size_t length);

}  // namespace driver
