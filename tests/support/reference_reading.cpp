#include "reference_reading.hpp"

#include <algorithm>
#include <vector>

namespace testing_support {
namespace {

using records::Failure;

struct Stop {
  Failure failure;
};

// The entry's records as a sequential connection hands them out.
class Records {
 public:
  explicit Records(std::string_view text) : text_(text) {}
  void rewind() { at_ = 0; }
  std::optional<std::string_view> read() {
    if (at_ >= text_.size()) return std::nullopt;
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) {
      const std::string_view last = text_.substr(at_);
      at_ = text_.size();
      return last;
    }
    std::string_view record = text_.substr(at_, end - at_);
    at_ = end + 1;
    if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
    return record;
  }
  std::string_view read_or_stop() {
    const auto record = read();
    if (!record) throw Stop{Failure::end_of_file};
    return *record;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// Columns first..last (from 1) of a record, blanks past its end.
std::string columns(std::string_view record, std::size_t first, std::size_t last) {
  std::string text(record.substr(std::min(first - 1, record.size()), last - first + 1));
  text.resize(last - first + 1, ' ');
  return text;
}

std::int32_t integer(std::string_view field) {
  const auto value = records::read_I(field);
  if (!value) throw Stop{Failure::input_conversion};
  return *value;
}

float real(std::string_view field) {
  const auto value = records::read_F(field, 0);
  if (!value) throw Stop{Failure::input_conversion};
  return *value;
}

// An ATOM record's columns, blanks past its end.
class Atom {
 public:
  Atom() : record_(54, ' ') {}
  explicit Atom(std::string_view r) : record_(columns(r, 1, 54)) {}

  std::string_view name() const { return field(1, 6); }
  std::string_view serial() const { return field(7, 11); }
  std::string_view atom_name() const { return field(13, 16); }
  char chain() const { return record_[21]; }  // column 22
  std::string_view residue() const { return field(23, 26); }
  std::string_view x() const { return field(31, 38); }
  std::string_view y() const { return field(39, 46); }
  std::string_view z() const { return field(47, 54); }

 private:
  std::string_view field(std::size_t first, std::size_t last) const {
    return std::string_view(record_).substr(first - 1, last - first + 1);
  }
  std::string record_;  // columns 1-54
};

// What a scan has taken from the ATOM records it has seen, by the plain
// rules: of consecutive serials carrying the chosen atom name only the
// first is taken, and a record taken sets the residue and the coordinates.
struct Taken {
  std::int32_t current_residue = 0;
  std::int32_t previous_serial = -10;
  float x = 0.0F;
  float y = 0.0F;
  float z = 0.0F;

  // False when the record is passed over as an alternate location.
  bool take(const Atom& fields, bool of_atom_type, bool may_pass_over = true) {
    const std::int32_t serial = integer(fields.serial());
    if (may_pass_over && of_atom_type && serial == previous_serial + 1) {
      previous_serial = serial;
      return false;
    }
    if (of_atom_type) previous_serial = serial;
    current_residue = integer(fields.residue());
    x = real(fields.x());
    y = real(fields.y());
    z = real(fields.z());
    return true;
  }
  reading::AtomEntry entry(char chain) const { return {current_residue, x, y, z, chain}; }
};

void scan_header(Records& entry, float& resolution) {
  entry.read_or_stop();
  entry.read_or_stop();
  std::string_view remark;
  do {
    remark = entry.read_or_stop();
  } while (columns(remark, 1, 22) != "REMARK   2 RESOLUTION.");
  if (columns(remark, 23, 27) == " NOT ") return;
  // Today's layout has its decimal point in column 28; the older one keeps
  // the number in columns 23-27.
  resolution = real(columns(remark, 28, 28) == "." ? columns(remark, 23, 30) : columns(remark, 23, 27));
}

void backbones(Records& entry, const reading::AtomType& atom_type, ReadingResult& result) {
  std::string_view seqres;
  do {
    seqres = entry.read_or_stop();
  } while (columns(seqres, 1, 6) != "SEQRES");
  const std::int32_t expected = integer(columns(seqres, 14, 17));
  reading::AtomList& atoms = result.atoms.emplace();

  entry.rewind();
  Atom fields;
  Taken taken;
  for (;;) {
    const std::int32_t previous_residue = taken.current_residue;
    const auto record = entry.read();
    if (record) fields = Atom(*record);
    const bool of_atom_type = fields.atom_name() == atom_type.view();
    // At the end of the file the last record is taken again, never passed over.
    if (fields.name() == "ATOM  " && !taken.take(fields, of_atom_type, record.has_value())) continue;
    if (!record || taken.current_residue < previous_residue) {
      atoms.resize(std::min(static_cast<std::size_t>(std::max(previous_residue, 0)), atoms.size()));
      return;
    }
    if (of_atom_type && fields.name() == "ATOM  ") atoms.push_back(taken.entry(fields.chain()));
    if (fields.name() == "TER   " || (of_atom_type && taken.current_residue == expected)) return;
  }
}

bool is_alpha(const std::string& helix_class) {
  return helix_class == " 1" || helix_class == " 6";
}

void scan_helix(Records& entry, const ReferenceHelix& helix, const reading::AtomType& atom_type,
                reading::AtomList& atoms) {
  entry.rewind();
  Taken taken;
  for (;;) {
    const Atom fields(entry.read_or_stop());
    const bool of_atom_type = fields.atom_name() == atom_type.view();
    const bool in_chain = fields.name() == "ATOM  " && fields.chain() == helix.chain;
    if (in_chain && !taken.take(fields, of_atom_type)) continue;
    const std::int32_t residue = taken.current_residue;
    if (in_chain && of_atom_type && helix.start <= residue && residue <= helix.end) {
      atoms.push_back(taken.entry(fields.chain()));
    }
    if (of_atom_type && residue >= helix.end) return;
  }
}

void helices(Records& entry, const reading::AtomType& atom_type, ReadingResult& result) {
  std::size_t count = 0;
  entry.rewind();
  while (const auto record = entry.read()) {
    if (columns(*record, 1, 6) == "HELIX " && is_alpha(columns(*record, 39, 40))) ++count;
  }
  if (count == 0) return;

  // The first unbroken run of HELIX records; other classes stay in the run.
  std::vector<ReferenceHelix> table;
  entry.rewind();
  bool collected = false;
  while (table.size() < count) {
    const auto record = entry.read();
    if (!record) break;
    const bool helix_record = columns(*record, 1, 6) == "HELIX ";
    if (helix_record && is_alpha(columns(*record, 39, 40))) {
      const std::int32_t start = integer(columns(*record, 22, 25));
      const std::int32_t end = integer(columns(*record, 34, 37));
      table.push_back({columns(*record, 20, 20)[0], start, end});
      collected = true;
    }
    if (collected && !helix_record) break;
  }

  reading::AtomList& atoms = result.atoms.emplace();
  for (const ReferenceHelix& helix : table) scan_helix(entry, helix, atom_type, atoms);
}

}  // namespace

HelixScans reference_helix_scans(std::string_view entry_text, const std::vector<ReferenceHelix>& helices,
                                 const reading::AtomType& atom_type) {
  HelixScans scans;
  Records entry(entry_text);
  try {
    for (const ReferenceHelix& helix : helices) scan_helix(entry, helix, atom_type, scans.atoms.emplace_back());
  } catch (const Stop& stop) {
    scans.failure = stop.failure;
  }
  return scans;
}

ReadingResult reference_reading(Routine routine, std::string_view entry_text, const reading::AtomType& atom_type,
                                float resolution) {
  ReadingResult result;
  result.resolution = resolution;
  Records entry(entry_text);
  try {
    scan_header(entry, result.resolution);
    if (routine == Routine::backbones) {
      backbones(entry, atom_type, result);
    } else {
      helices(entry, atom_type, result);
    }
  } catch (const Stop& stop) {
    result.failure = stop.failure;
  }
  return result;
}

}  // namespace testing_support
