// HELICES: the atoms of one type inside the entry's alpha helices.

#include "helix_scan.hpp"
#include "layouts.hpp"

namespace reading {
namespace {

// Right- and left-handed alpha helices in the whole entry.
std::int32_t count_alpha_helices(records::Input& entry) {
  std::int32_t count = 0;
  entry.rewind();
  // Only HELIX records can count; the others are passed over unread.
  for (entry.skip_to(helix_key); const auto record = entry.read(); entry.skip_to(helix_key)) {
    const HelixClassFields helix = read_helix_class(*record);
    if (is_alpha_helix(helix.helix_class)) ++count;
  }
  return count;
}

// The counted helices of the first unbroken run of HELIX records, reported
// as they are found. HELIX records of other classes do not break the run.
std::vector<Helix> collect_helices(records::Input& entry, std::int32_t count, records::Output& console, bool verbose) {
  std::vector<Helix> helices;
  helices.reserve(static_cast<std::size_t>(count));
  entry.rewind();
  bool collected = false;
  while (helices.size() < static_cast<std::size_t>(count)) {
    // Before the run begins nothing but its first HELIX record matters.
    if (!collected) entry.skip_to(helix_key);
    // Every counted helix lies ahead, so the run ends before the file does.
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

  const std::int32_t count = count_alpha_helices(entry_);
  if (count == 0) {
    if (verbose) {
      console_.record().text("   No alpha helices in this file !!").end();
      console_.free_form();
    }
    entry_.close();
    return;
  }

  const std::vector<Helix> helices = collect_helices(entry_, count, console_, verbose);
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
