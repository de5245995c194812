// Gathering each helix's atoms in one pass over the entry.
//
// Each helix's atoms are defined by a scan of the whole entry from its first
// record: the atoms of the helix's chain whose residue lies inside the helix,
// until an atom of the chosen type shows the end residue or beyond. What such
// a scan has reached at any record (previous serial, current residue and
// coordinates) depends only on the helix's chain, never on its bounds. So one
// pass keeps that state per chain and serves every helix of the chain at
// once; a helix only needs its own collection window and the record where its
// end test first fires. The atoms are then reported helix by helix in table
// order, exactly as the scans one after another would report them, failures
// included: a helix whose scan would meet a bad number or the end of the file
// fails after the atoms it had listed.

#include "helix_scan.hpp"

#include <algorithm>
#include <array>

#include "atom_scan.hpp"
#include "layouts.hpp"
#include "legacy_entry.hpp"
#include "listing.hpp"
#include "mmcif_entry.hpp"

namespace reading {
namespace {

// What one helix's own scan comes to.
struct HelixOutcome {
  AtomList atoms;
  std::optional<records::Failure> failure;
};

// The scan state that every helix of one chain shares, and those helices.
struct ChainScan {
  ChainName chain;
  std::vector<std::size_t> by_end;   // helix indices, ordered by end
  std::vector<std::int32_t> starts;  // their starts, in the same order
  std::vector<std::int32_t> ends;    // their ends, in the same order
  std::size_t first_open = 0;        // helices before it have ended
  bool starts_ascending = true;      // as well as the ends: no two helices overlap
  AtomScan atoms;                    // what every scan of this chain has reached
  bool unchecked = true;             // its residue moved since its helices' ends were last tested

  bool open() const { return first_open < by_end.size(); }
};

std::vector<ChainScan> chain_scans(const std::vector<Helix>& helices) {
  std::vector<ChainScan> scans;
  // Where each chain's scan is: by its character for one-character names.
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  std::array<std::size_t, 256> by_character;
  by_character.fill(none);
  for (std::size_t h = 0; h < helices.size(); ++h) {
    const ChainName& chain = helices[h].chain;
    std::size_t at = none;
    if (chain.size() == 1) {
      at = by_character[static_cast<unsigned char>(chain.view()[0])];
    } else {
      const auto found = std::find_if(scans.begin(), scans.end(), [&](const ChainScan& s) { return s.chain == chain; });
      if (found != scans.end()) at = static_cast<std::size_t>(found - scans.begin());
    }
    if (at == none) {
      at = scans.size();
      scans.emplace_back().chain = chain;
      if (chain.size() == 1) by_character[static_cast<unsigned char>(chain.view()[0])] = at;
    }
    scans[at].by_end.push_back(h);
  }
  for (ChainScan& scan : scans) {
    std::stable_sort(scan.by_end.begin(), scan.by_end.end(),
                     [&](std::size_t a, std::size_t b) { return helices[a].end < helices[b].end; });
    for (const std::size_t h : scan.by_end) {
      scan.starts_ascending = scan.starts_ascending && (scan.starts.empty() || scan.starts.back() <= helices[h].start);
      scan.starts.push_back(helices[h].start);
      scan.ends.push_back(helices[h].end);
    }
  }
  return scans;
}

void fail_open_helices(ChainScan& scan, records::Failure failure, std::vector<HelixOutcome>& outcomes) {
  for (; scan.open(); ++scan.first_open) outcomes[scan.by_end[scan.first_open]].failure = failure;
}

// The open helices of the chain that contain the current residue take the
// atom. The open helices are walked in the order of their ends; where their
// starts come in the same order, as they do when no two helices of the
// chain overlap (real entries), the walk ends at the first that starts
// past the residue, since none after it contains it either. A segment tree
// over the starts that finds just those was timed against the whole walk
// and dropped, its gain within the run-to-run noise on real and generated
// entries alike (bench/README.md); only an entry made against the walk,
// whose helices never end, showed one worth having.
//
// Kept inline in the scan: out of line, as GCC chose once the scan became a
// template, the call cost instructions on every atom taken.
//
// The bounds are read through pointers taken once: through the vectors,
// every atom taken made the loop read their sizes again (an atom list may
// be any memory), a tenth of a helix run's instructions (callgrind).
[[gnu::always_inline]] inline void collect(const ChainScan& scan, std::vector<HelixOutcome>& outcomes) {
  const std::int32_t residue = scan.atoms.current_residue;
  const std::int32_t* const starts = scan.starts.data();
  const std::int32_t* const ends = scan.ends.data();
  const std::size_t count = scan.by_end.size();
  for (std::size_t position = scan.first_open; position < count; ++position) {
    if (starts[position] > residue) {
      if (scan.starts_ascending) break;
      continue;
    }
    if (residue <= ends[position]) outcomes[scan.by_end[position]].atoms.push_back(scan.atoms.entry(scan.chain));
  }
}

// An atom of the chosen type ends every open helix whose end the chain's
// current residue has reached.
void close_ended(ChainScan& scan) {
  while (scan.open() && scan.ends[scan.first_open] <= scan.atoms.current_residue) ++scan.first_open;
}

// The scan of each chain that has helices, found by the chain's name. Legacy
// entries name a chain by one character, looked up directly; mmCIF entries
// may use longer names, and their records come chain by chain, so the last
// one found is tried first.
class ScanOfChain {
 public:
  explicit ScanOfChain(std::vector<ChainScan>& scans) {
    for (ChainScan& scan : scans) {
      if (scan.chain.size() == 1) {
        by_character_[static_cast<unsigned char>(scan.chain.view()[0])] = &scan;
      } else {
        by_name_.push_back(&scan);
      }
    }
  }

  ChainScan* operator()(char chain) const { return by_character_[static_cast<unsigned char>(chain)]; }
  ChainScan* operator()(std::string_view chain) {
    if (chain.size() == 1) return (*this)(chain[0]);
    if (last_ != nullptr && last_->chain == chain) return last_;
    for (ChainScan* scan : by_name_) {
      if (scan->chain == chain) return last_ = scan;
    }
    return nullptr;
  }

 private:
  std::array<ChainScan*, 256> by_character_{};
  std::vector<ChainScan*> by_name_;
  ChainScan* last_ = nullptr;
};

template <class Entry>
std::vector<HelixOutcome> scan_all_helices(Entry& entry, const std::vector<Helix>& helices, const AtomType& atom_type) {
  std::vector<HelixOutcome> outcomes(helices.size());
  std::vector<ChainScan> scans = chain_scans(helices);
  ScanOfChain scan_of(scans);

  // An end test only closes helices of a chain whose residue moved since its
  // last one; the others are left out rather than tested in vain for every
  // atom of the chosen type (62 chains in the bench entry).
  std::vector<ChainScan*> unchecked;
  for (ChainScan& scan : scans) unchecked.push_back(&scan);

  entry.rewind_for_atoms();
  typename Entry::Fields fields;
  std::size_t open_chains = scans.size();
  while (open_chains > 0) {
    if (!entry.next(fields)) break;
    const bool of_atom_type = fields.atom_name == atom_type.view();

    ChainScan* own = nullptr;
    bool skipped = false;
    if (fields.name == atom_key) {
      ChainScan* scan = scan_of(fields.chain);
      if (scan != nullptr && scan->open()) {
        const AtomScan::Step step = scan->atoms.take(fields, of_atom_type);
        if (step == AtomScan::Step::bad_number) {
          fail_open_helices(*scan, records::Failure::input_conversion, outcomes);
          --open_chains;
        } else {
          own = scan;
          skipped = step == AtomScan::Step::skipped;
          if (!skipped && !scan->unchecked) {
            scan->unchecked = true;
            unchecked.push_back(scan);
          }
        }
      }
    }
    if (!of_atom_type) continue;
    if (own != nullptr && !skipped) collect(*own, outcomes);
    for (std::size_t i = 0; i < unchecked.size();) {
      ChainScan& scan = *unchecked[i];
      // A skipped alternate location is invisible to its own chain's scans.
      if (&scan == own && skipped) {
        ++i;
        continue;
      }
      if (scan.open()) {
        close_ended(scan);
        if (!scan.open()) --open_chains;
      }
      scan.unchecked = false;
      unchecked[i] = unchecked.back();
      unchecked.pop_back();
    }
  }
  // A helix whose end never showed reads to the end of the entry.
  for (ChainScan& scan : scans) fail_open_helices(scan, records::Failure::end_of_file, outcomes);
  return outcomes;
}

}  // namespace

void announce_helix(const HelixReport& report, const Helix& helix) {
  // The number is the helix's span, whatever is found in it.
  const std::int32_t span = helix.end - helix.start + 1;
  report.console.record()
      .text("   There are ")
      .I(span, 10)
      .text(" carbon atoms located in the alpha helix of chain ")
      .A(helix.chain.view(), shown_width(helix.chain))
      .end();
  report.console.free_form();
  write_listing_header(report.console);
}

template <class Entry>
void collect_helix_atoms(Entry& entry, const std::vector<Helix>& helices, const HelixReport& report, AtomList& atoms) {
  std::vector<HelixOutcome> outcomes = scan_all_helices(entry, helices, report.atom_type);
  for (std::size_t h = 0; h < helices.size(); ++h) {
    if (report.verbose) announce_helix(report, helices[h]);
    for (const AtomEntry& atom : outcomes[h].atoms) {
      atoms.push_back(atom);
      if (report.verbose) write_listing_line(report.console, atoms.size(), atom);
    }
    if (outcomes[h].failure) entry.fail(*outcomes[h].failure);
    if (report.verbose) report.console.free_form();
  }
}

template void collect_helix_atoms(LegacyEntry&, const std::vector<Helix>&, const HelixReport&, AtomList&);
template void collect_helix_atoms(MmcifEntry&, const std::vector<Helix>&, const HelixReport&, AtomList&);

}  // namespace reading
