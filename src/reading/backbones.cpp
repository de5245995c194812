// BACKBONES: the atoms of one type along the entry's first chain.

#include <algorithm>

#include "atom_scan.hpp"
#include "entry.hpp"
#include "header_scan.hpp"
#include "layouts.hpp"
#include "listing.hpp"
#include "reading/reading.hpp"

namespace reading {
namespace {

// The residue count of the first SEQRES record after the resolution record;
// it sizes the atom list and numbers the chain's last residue.
std::int32_t expected_residue_count(records::Input& entry) {
  // The key has no blank, so a record matches exactly when it begins with it.
  std::string_view record;
  do {
    record = entry.read_or_fail();
  } while (!record.starts_with(seqres_key));
  return convert_I(entry, read_seqres(record).residue_count.view());
}

}  // namespace

void READING::BACKBONES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
                        const AtomType& atom_type) {
  open_and_scan_header(entry_, entry_path, console_, verbose, resolution);
  const std::int32_t expected = expected_residue_count(entry_);
  atoms.emplace().reserve(static_cast<std::size_t>(std::max(expected, 0)));
  if (verbose) {
    console_.record().text("   There are ").I(expected, 10).text(" residues in the backbone.").end();
    console_.free_form();
    write_listing_header(console_);
  }

  entry_.rewind();
  AtomFields fields;  // a record's fields stay until the next record replaces them
  AtomScan scan;
  for (;;) {
    const std::int32_t previous_residue = scan.current_residue;
    const auto record = entry_.read();
    if (record) read_atom(*record, fields);
    const bool of_atom_type = fields.atom_name == atom_type.view();

    if (fields.name == atom_key) {
      const AtomScan::Step step = scan.take(fields, of_atom_type);
      if (step == AtomScan::Step::bad_number) entry_.fail(records::Failure::input_conversion);
      // At the end of the file the last record is taken again; its serial is
      // already the previous one, so the scan never skips past the end.
      if (step == AtomScan::Step::skipped && record) continue;
    }
    const std::int32_t current_residue = scan.current_residue;

    // End of data, or the numbering started again: a new chain or model. The
    // list keeps as many entries as the last residue number says, never more
    // than were stored.
    if (!record || current_residue < previous_residue) {
      const auto last_residue = static_cast<std::size_t>(std::max(previous_residue, 0));
      atoms->resize(std::min(last_residue, atoms->size()));
      console_.free_form();
      break;
    }

    if (of_atom_type && fields.name == atom_key) {
      atoms->push_back(scan.entry(fields.chain));
      if (verbose) write_listing_line(console_, atoms->size(), atoms->back());
    }

    // The chain ends at TER, or at the chosen atom of its last residue (that
    // test looks at the atom name of any record).
    if (fields.name == ter_key || (of_atom_type && current_residue == expected)) {
      if (verbose) console_.free_form();
      break;
    }
  }
  entry_.close();
}

}  // namespace reading
