// HELICES: the atoms of one type inside the entry's alpha helices.

#include "entry.hpp"
#include "header_scan.hpp"
#include "helix_scan.hpp"
#include "layouts.hpp"
#include "reading/reading.hpp"

namespace reading {
namespace {

// The alpha helices of the first unbroken run of HELIX records, reported as
// they are found. HELIX records of other classes do not break the run.
//
// The routine's rule counts the alpha helices of the whole entry first and
// collects at most that many, but the count changes nothing else: there is
// none exactly when no run holds an alpha helix, and the first run never
// holds more than there are. So one pass serves, and it reads only HELIX
// records until the run begins.
std::vector<Helix> collect_helices(records::Input& entry, records::Output& console, bool verbose) {
  std::vector<Helix> helices;
  entry.rewind();
  bool collected = false;
  for (;;) {
    if (!collected) entry.skip_to(helix_key);
    const auto record = entry.read();
    if (!record) break;
    const HelixFields fields = read_helix(*record);
    if (fields.name == helix_key && is_alpha_helix(fields.helix_class)) {
      const Helix& helix = helices.emplace_back(
          Helix{fields.chain[0], convert_I(entry, fields.start.view()), convert_I(entry, fields.end.view())});
      collected = true;
      if (verbose && fields.helix_class == right_handed_alpha) {
        console.record().text("   Right-handed alpha helix found in chain ").A(helix.chain, 1).end();
      }
      if (verbose && fields.helix_class == left_handed_alpha) {
        console.record().text("   Left-handed alpha helix foundin chain ").A(helix.chain, 1).end();
      }
    }
    if (collected && fields.name != helix_key) break;
  }
  return helices;
}

}  // namespace

void READING::HELICES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
                      const AtomType& atom_type) {
  open_and_scan_header(entry_, entry_path, console_, verbose, resolution);

  const std::vector<Helix> helices = collect_helices(entry_, console_, verbose);
  if (helices.empty()) {
    if (verbose) {
      console_.record().text("   No alpha helices in this file !!").end();
      console_.free_form();
    }
    entry_.close();
    return;
  }

  if (verbose) {
    console_.free_form();
    console_.record().text("   ").I(records::as_count(helices.size()), 3).text(" helices found.").end();
    console_.free_form();
  }

  atoms.emplace();
  collect_helix_atoms(entry_, helices, {console_, verbose, atom_type}, *atoms);
  entry_.close();
}

}  // namespace reading
