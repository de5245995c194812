// A legacy fixed-column entry as the routines read it: its records one after
// another on the open connection, read with the layouts of layouts.hpp. The
// routines are written once, as templates over the entry they read (this, or
// an mmCIF entry); each read here is what it always was, inline.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "entry.hpp"
#include "layouts.hpp"
#include "reading/reading.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"

namespace reading {

class LegacyEntry {
 public:
  using Fields = AtomFields;

  // `atom_type`: the atoms the routine takes, which tells the records its
  // atom scans pass over.
  LegacyEntry(records::Input& entry, const AtomType& atom_type) : entry_(entry), atom_type_(atom_type) {}

  // The header scan: records 1 and 2 as title lines, whatever their name,
  // then the REMARK 2 resolution record, searched from record 3 on.
  std::string_view title() {
    title_ = read_title(read_or_fail());
    return title_.text.view();
  }
  ResolutionText resolution() {
    // The key has no trailing blank, so a record matches exactly when it
    // begins with it; the others need no fields read.
    std::string_view record;
    do {
      const std::size_t start = entry_.position();
      const auto read = entry_.read();
      if (!read) return none_stated();
      record = *read;
      note(record, start);
    } while (!record.starts_with(resolution_key));
    remark_ = read_resolution(record);
    if (remark_.text == no_resolution) return {true, {}};
    return {false, remark_.number_text()};
  }

  // The residue count of the first SEQRES record after the resolution
  // record.
  std::int32_t first_seqres_count() {
    // The key has no blank, so a record matches exactly when it begins with it.
    std::string_view record;
    do {
      record = read_or_fail();
    } while (!record.starts_with(seqres_key));
    return convert_I(entry_, read_seqres(record).residue_count.view());
  }

  // Back to the first record for the collection of the HELIX records, or
  // for an atom scan. Records already read from the first on that the
  // pass would only pass over (no HELIX record before a collection; for an
  // atom scan, none of its ATOM or TER records, nor one that names the
  // atom type in columns 13-16) are not read again: whatever their number,
  // every line end of the entry is found once.
  void rewind_for_helices() { entry_.rewind_to(no_helix_before_); }
  void rewind_for_atoms() { entry_.rewind_to(passed_over_before_); }
  // Passes over the records before the next HELIX record. While every
  // record so far is one the atom scans pass over, they are read one by
  // one, so that the scans need not read them again; after that they are
  // passed over unread.
  void skip_to_helix() {
    while (entry_.position() == passed_over_before_) {
      const std::size_t start = entry_.position();
      const auto record = entry_.read();
      if (!record) return;
      if (record->starts_with(helix_key)) return entry_.rewind_to(start);
      note(*record, start);
    }
    entry_.skip_to(helix_key);
  }
  std::optional<HelixFields> next_helix() {
    const std::size_t start = entry_.position();
    const auto record = entry_.read();
    if (!record) return std::nullopt;
    note(*record, start);
    return read_helix(*record);
  }
  // The record read into `fields`, or none at the end of the file, the
  // fields left as they were.
  std::optional<std::string_view> next(AtomFields& fields) {
    const auto record = entry_.read();
    if (record) fields.read(*record);
    return record;
  }

  [[noreturn]] void fail(records::Failure failure) const { entry_.fail(failure); }
  const records::Input& input() const { return entry_; }

 private:
  // No resolution record before the end: what follows the title lines is
  // read as if the record had come right after them.
  ResolutionText none_stated() {
    entry_.rewind();
    entry_.read_or_fail();
    entry_.read_or_fail();
    return {false, {}, false};
  }

  std::string_view read_or_fail() {
    const std::size_t start = entry_.position();
    const std::string_view record = entry_.read_or_fail();
    note(record, start);
    return record;
  }

  // Moves the marks of the records read from the first on past `record`,
  // which began at `start`, when it follows them and the passes would only
  // pass over it. A record is read with its short columns blank, as the
  // scans read it ("TER" is a TER record).
  void note(std::string_view record, std::size_t start) {
    const std::size_t end = entry_.position();
    if (start == no_helix_before_ && !columns_are(record, 0, helix_key)) no_helix_before_ = end;
    if (start == passed_over_before_ && !columns_are(record, 0, atom_key) && !columns_are(record, 0, ter_key) &&
        !columns_are(record, 12, atom_type_.view())) {
      passed_over_before_ = end;
    }
  }

  records::Input& entry_;
  const AtomType atom_type_;
  TitleFields title_;
  ResolutionFields remark_;
  std::size_t no_helix_before_ = 0;     // no HELIX record before this position
  std::size_t passed_over_before_ = 0;  // only records the atom scans pass over before it
};

}  // namespace reading
