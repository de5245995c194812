// The fixed-column layouts in which PDB records are read, each stated once.
// Numbers stay text until a routine needs them (`convert_I`, `convert_F`),
// so a bad number in a field nobody uses is never an error.
//
// The columns follow the wwPDB's "Atomic Coordinate Entry Format Description",
// version 3.3 (2012), which every entry of the archive is written to. Where
// this tool reads otherwise:
// - Title lines are records 1 and 2 whatever their name, and only columns
//   11-70 of them are shown (a TITLE runs to column 80).
// - REMARK 2 is read in its older layout, the number in columns 23-27, and
//   in the layout of version 3.3 (columns 24-30, F7.2) only when column 28
//   holds the point: see `ResolutionFields`.
// - A residue number is columns 23-26 alone: the insertion code (column 27)
//   is not read, so inserted residues count as the residue before them; a
//   helix's bounds likewise leave out columns 26 and 38.
// - Alternate locations are told by serial numbers, not by column 17: of
//   consecutive serials carrying the chosen atom name only the first is
//   taken (`AtomScan`).
// - Only records named "ATOM  " are taken; HETATM records, and with them
//   the modified residues an entry lists as HETATM, never are.
// - HELIX records are read only as far as columns 39-40 (the class); the
//   helix's length (columns 72-76) and identifiers are not read.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "records/chars.hpp"
#include "records/fields.hpp"
#include "records/fields_at_once.hpp"

namespace reading {

using records::Chars;
using records::FieldReader;

// Record names and keys, compared as exact strings.
inline constexpr std::string_view atom_key = "ATOM  ";
inline constexpr std::string_view helix_key = "HELIX ";
inline constexpr std::string_view seqres_key = "SEQRES";
inline constexpr std::string_view ter_key = "TER   ";
inline constexpr std::string_view resolution_key = "REMARK   2 RESOLUTION.";
inline constexpr std::string_view no_resolution = " NOT ";
inline constexpr std::string_view right_handed_alpha = " 1";
inline constexpr std::string_view left_handed_alpha = " 6";

// Title lines (records 1 and 2), layout (A10, A60).
struct TitleFields {
  Chars<60> text;  // columns 11-70, shown on the console
};
inline TitleFields read_title(std::string_view record) {
  TitleFields f;
  FieldReader(record).skip(10).A(60, f.text);
  return f;
}

// REMARK 2 resolution, layout (A22, A5), columns 23-27 holding the number.
// That is the older layout ("REMARK   2 RESOLUTION. 2.25 ANGSTROMS."). Every
// entry distributed today right-justifies the number in columns 24-30
// ("REMARK   2 RESOLUTION.    1.70 ANGSTROMS."), where columns 23-27 hold
// only "    1"; its decimal point falls in column 28, and then the number is
// read from columns 23-30 instead.
struct ResolutionFields {
  Chars<22> key;
  Chars<5> text;  // columns 23-27: " NOT " or the older layout's number
  Chars<1> column_28;
  Chars<8> wide_text;  // columns 23-30: the current layout's number

  std::string_view number_text() const { return column_28 == "." ? wide_text.view() : text.view(); }
};
inline ResolutionFields read_resolution(std::string_view record) {
  ResolutionFields f;
  FieldReader(record).A(22, f.key).A(5, f.text).A(1, f.column_28);
  FieldReader(record).skip(22).A(8, f.wide_text);
  return f;
}

// HELIX record as collected, layout (A6, A13, A1, A1, A4, A8, A4, A1, A2).
struct HelixFields {
  Chars<6> name;
  Chars<1> chain;        // column 20, the first residue's chain
  Chars<4> start;        // columns 22-25, I4
  Chars<4> end;          // columns 34-37, I4
  Chars<2> helix_class;  // columns 39-40
};
inline HelixFields read_helix(std::string_view record) {
  HelixFields f;
  FieldReader(record)
      .A(6, f.name)
      .skip(13)
      .A(1, f.chain)
      .skip(1)
      .A(4, f.start)
      .skip(8)
      .A(4, f.end)
      .skip(1)
      .A(2, f.helix_class);
  return f;
}

// Whether the columns of `record` from `from` (from 0) hold `text`, the
// columns past its end read as blanks, as its fields are read.
inline bool columns_are(std::string_view record, std::size_t from, std::string_view text) {
  if (record.size() >= from + text.size()) return record.substr(from, text.size()) == text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((from + i < record.size() ? record[from + i] : ' ') != text[i]) return false;
  }
  return true;
}

inline bool is_alpha_helix(std::string_view helix_class) {
  return helix_class == right_handed_alpha || helix_class == left_handed_alpha;
}

// SEQRES record, layout (A6, A7, A4).
struct SeqresFields {
  Chars<6> name;
  Chars<4> residue_count;  // columns 14-17, I4
};
inline SeqresFields read_seqres(std::string_view record) {
  SeqresFields f;
  FieldReader(record).A(6, f.name).skip(7).A(4, f.residue_count);
  return f;
}

// ATOM record, layout (A6, A5, A5, A5, A1, A4, A4, A8, A8, A8). The atom
// name's 5-column field is read into 4 characters, which keeps columns 13-16.
//
// Every record of an entry is read in this layout, so the fields are views
// into the record rather than copies; a record shorter than the layout is
// copied first, padded with blanks, as its short columns read. A copy of the
// fields would outlive the padding they may point into, so there is none.
struct AtomFields {
  static constexpr std::size_t width = 54;

  std::string_view name;       // columns 1-6
  std::string_view serial;     // columns 7-11, I5
  std::string_view atom_name;  // columns 13-16
  char chain = ' ';            // column 22
  std::string_view residue;    // columns 23-26, I4
  std::string_view x;          // columns 31-38, F8.0
  std::string_view y;          // columns 39-46, F8.0
  std::string_view z;          // columns 47-54, F8.0

  AtomFields() { read(std::string_view()); }
  AtomFields(const AtomFields&) = delete;
  AtomFields& operator=(const AtomFields&) = delete;

  void read(std::string_view record) {
    if (record.size() < width) {
      std::fill(std::copy(record.begin(), record.end(), padded_.begin()), padded_.end(), ' ');
      record = std::string_view(padded_.data(), width);
    }
    name = record.substr(0, 6);
    serial = record.substr(6, 5);
    atom_name = record.substr(12, 4);  // of the A5 field in columns 12-16
    chain = record[21];
    residue = record.substr(22, 4);
    x = record.substr(30, 8);
    y = record.substr(38, 8);
    z = record.substr(46, 8);
  }

 private:
  std::array<char, width> padded_{};
};

// The text of a field read into a fixed-length variable, as the routines
// take it whichever kind of entry gave it (see mmcif_fields.hpp).
template <std::size_t N>
std::string_view field_text(const Chars<N>& field) {
  return field.view();
}

// The numbers of a legacy ATOM record as a scan reads them: the serial
// (I5), or whether it converts, the residue (I4), and the coordinates
// (F8.0), or whether they convert. Where all five fields are as the
// archive writes them, which is seen at once, the numbers are converted
// from words and need no other check.
class AtomNumbers {
 public:
  explicit AtomNumbers(const AtomFields& fields) : fields_(fields) {
    // Columns 7-11, and 23-54, of a record at least as wide as the layout;
    // the serial and the residue end past its eighth column.
    const records::ColumnKinds serial = records::kinds_of(fields.serial.data());
    const char* const residue = fields.residue.data();
    const records::ColumnKinds rest = records::kinds_of_32(residue);
    as_written_ = records::kinds_at_once && records::integer_as_written(serial, 5) &&
                  records::integer_as_written(rest, 4) && records::three_F8_as_written(rest.from(8));
  }

  std::optional<std::int32_t> serial() const {
    if (as_written_) return records::integer_as_written_value<5>(fields_.serial);
    return records::read_I(fields_.serial);
  }
  bool serial_reads() const { return as_written_ || records::read_I(fields_.serial); }
  std::optional<std::int32_t> residue() const {
    if (as_written_) return records::integer_as_written_value<4>(fields_.residue);
    return records::read_I(fields_.residue);
  }
  bool coordinates_read() const {
    return as_written_ ||
           (records::reads_as_F(fields_.x) && records::reads_as_F(fields_.y) && records::reads_as_F(fields_.z));
  }
  // `field`: fields.x, y or z, F8.0.
  std::optional<float> coordinate(std::string_view field) const {
    if (as_written_) return records::F8_as_written_value(field);
    return records::read_F(field, 0);
  }

 private:
  const AtomFields& fields_;
  bool as_written_;
};
inline AtomNumbers numbers_of(const AtomFields& fields) {
  return AtomNumbers(fields);
}

// A coordinate as converted from the record: what its columns say
// ("-0.000" is shown as such).
inline float coordinate_of(const AtomFields&, float value) {
  return value;
}

}  // namespace reading
