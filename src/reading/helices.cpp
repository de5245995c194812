// HELICES: the atoms of one type inside the entry's alpha helices.

#include "entry.hpp"
#include "formats.hpp"
#include "header_scan.hpp"
#include "helix_scan.hpp"
#include "layouts.hpp"
#include "listing.hpp"
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
template <class Entry>
std::vector<Helix> collect_helices(Entry& entry, records::Output& console, bool verbose) {
  std::vector<Helix> helices;
  entry.rewind_for_helices();
  bool collected = false;
  for (;;) {
    if (!collected) entry.skip_to_helix();
    const auto record = entry.next_helix();
    if (!record) break;
    if (record->name == helix_key && is_alpha_helix(field_text(record->helix_class))) {
      const std::string_view chain = field_text(record->chain);
      if (!ChainName::fits(chain)) entry.fail(records::Failure::chain_name_too_long);
      const Helix& helix =
          helices.emplace_back(Helix{ChainName(chain), convert_I(entry.input(), field_text(record->start)),
                                     convert_I(entry.input(), field_text(record->end))});
      collected = true;
      if (verbose && record->helix_class == right_handed_alpha) {
        console.record()
            .text("   Right-handed alpha helix found in chain ")
            .A(helix.chain.view(), shown_width(helix.chain))
            .end();
      }
      if (verbose && record->helix_class == left_handed_alpha) {
        console.record()
            .text("   Left-handed alpha helix foundin chain ")
            .A(helix.chain.view(), shown_width(helix.chain))
            .end();
      }
    }
    if (collected && record->name != helix_key) break;
  }
  return helices;
}

template <class Entry>
void helices(Entry& entry, records::Output& console, const ReadingRules& rules, float& resolution,
             std::optional<AtomList>& atoms, bool verbose, const AtomType& atom_type) {
  scan_header(entry, console, verbose, resolution, rules.allow_no_resolution);

  const std::vector<Helix> helices = collect_helices(entry, console, verbose);
  if (helices.empty()) {
    if (verbose) {
      console.record().text("   No alpha helices in this file !!").end();
      console.free_form();
    }
    return;
  }

  if (verbose) {
    console.free_form();
    console.record().text("   ").I(records::as_count(helices.size()), 3).text(" helices found.").end();
    console.free_form();
  }

  atoms.emplace();
  collect_helix_atoms(entry, helices, {console, verbose, atom_type}, *atoms);
}

}  // namespace

void READING::HELICES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
                      const AtomType& atom_type) {
  read_in_its_format(entry_, entry_path, Purpose::helices, atom_type,
                     [&](auto& entry) { helices(entry, console_, rules_, resolution, atoms, verbose, atom_type); });
}

}  // namespace reading
