// BACKBONES: the atoms of one type along the entry's first chain.

#include <algorithm>

#include "atom_scan.hpp"
#include "formats.hpp"
#include "header_scan.hpp"
#include "layouts.hpp"
#include "listing.hpp"
#include "reading/reading.hpp"

namespace reading {
namespace {

template <class Entry>
void backbones(Entry& entry, records::Output& console, const ReadingRules& rules, float& resolution,
               std::optional<AtomList>& atoms, bool verbose, const AtomType& atom_type) {
  scan_header(entry, console, verbose, resolution, rules.allow_no_resolution);
  // The first SEQRES record's count sizes the atom list and numbers the
  // chain's last residue.
  const std::int32_t expected = entry.first_seqres_count();
  atoms.emplace().reserve(static_cast<std::size_t>(std::max(expected, 0)));
  if (verbose) {
    console.record().text("   There are ").I(expected, 10).text(" residues in the backbone.").end();
    console.free_form();
    write_listing_header(console);
  }

  entry.rewind_for_atoms();
  typename Entry::Fields fields;  // a record's fields stay until the next record replaces them
  AtomScan scan;
  for (;;) {
    const std::int32_t previous_residue = scan.current_residue;
    const auto read = entry.next(fields);  // false at the end of the file
    const bool of_atom_type = fields.atom_name == atom_type.view();

    if (fields.name == atom_key) {
      const AtomScan::Step step = scan.take(fields, of_atom_type);
      if (step == AtomScan::Step::bad_number) entry.fail(records::Failure::input_conversion);
      // At the end of the file the last record is taken again; its serial is
      // already the previous one, so the scan never skips past the end.
      if (step == AtomScan::Step::skipped && read) continue;
    }
    const std::int32_t current_residue = scan.current_residue;

    // End of data, or the numbering started again: a new chain or model. The
    // list keeps as many entries as the last residue number says, never more
    // than were stored.
    if (!read || current_residue < previous_residue) {
      const auto last_residue = static_cast<std::size_t>(std::max(previous_residue, 0));
      atoms->resize(std::min(last_residue, atoms->size()));
      console.free_form();
      break;
    }

    if (of_atom_type && fields.name == atom_key) {
      if (!ChainName::fits(fields.chain)) entry.fail(records::Failure::chain_name_too_long);
      atoms->push_back(scan.entry(ChainName(fields.chain)));
      if (verbose) write_listing_line(console, atoms->size(), atoms->back());
    }

    // The chain ends at TER, or at the chosen atom of its last residue (that
    // test looks at the atom name of any record).
    if (fields.name == ter_key || (of_atom_type && current_residue == expected)) {
      if (verbose) console.free_form();
      break;
    }
  }
}

}  // namespace

void READING::BACKBONES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
                        const AtomType& atom_type) {
  read_in_its_format(entry_, entry_path, Purpose::backbones, atom_type,
                     [&](auto& entry) { backbones(entry, console_, rules_, resolution, atoms, verbose, atom_type); });
}

}  // namespace reading
