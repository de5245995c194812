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
#include "records/failures.hpp"
#include "records/input.hpp"

namespace reading {

class LegacyEntry {
 public:
  using Fields = AtomFields;

  explicit LegacyEntry(records::Input& entry) : entry_(entry) {}

  // The header scan: records 1 and 2 as title lines, whatever their name,
  // then the REMARK 2 resolution record, searched from record 3 on.
  std::string_view title() {
    title_ = read_title(entry_.read_or_fail());
    return title_.text.view();
  }
  ResolutionText resolution() {
    // The key has no trailing blank, so a record matches exactly when it
    // begins with it; the others need no fields read.
    std::string_view record;
    do {
      const auto read = entry_.read();
      if (!read) return none_stated();
      record = *read;
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
      record = entry_.read_or_fail();
    } while (!record.starts_with(seqres_key));
    return convert_I(entry_, read_seqres(record).residue_count.view());
  }

  // Every record from the first, as HELIX records or as ATOM records.
  void rewind() { entry_.rewind(); }
  // Passes over the records before the next HELIX record unread.
  void skip_to_helix() { entry_.skip_to(helix_key); }
  std::optional<HelixFields> next_helix() {
    const auto record = entry_.read();
    if (!record) return std::nullopt;
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

  records::Input& entry_;
  TitleFields title_;
  ResolutionFields remark_;
};

}  // namespace reading
