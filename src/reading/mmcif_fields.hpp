// The fields of an mmCIF entry's records, as the routines read them in a
// legacy entry (layouts.hpp), each as wide as its value: a chain name of
// several characters, a residue number of more digits than the columns
// hold. Views into the entry or into its reader, valid until the next
// record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "layouts.hpp"
#include "records/fields.hpp"

namespace reading {

// A HELIX record (`HelixFields`).
struct WideHelixFields {
  std::string_view name;         // columns 1-6
  std::string_view chain;        // column 20
  std::string_view start;        // columns 22-25, I4
  std::string_view end;          // columns 34-37, I4
  std::string_view helix_class;  // columns 39-40
};

inline std::string_view field_text(std::string_view field) {
  return field;
}

// An ATOM record (`AtomFields`). The serial is counted as the legacy file
// counts it, so it is a number already.
struct WideAtomFields {
  std::string_view name;
  std::int32_t serial = 0;  // counted, not read
  std::string_view atom_name;
  std::string_view chain;
  std::string_view residue;
  std::string_view x;
  std::string_view y;
  std::string_view z;
};

// Whether a coordinate of an atom not collected converts. A value as the
// archive writes it (a minus, digits, a point and three decimals) is seen
// to convert at once; any other goes to the conversion's own check.
inline bool coordinate_reads(std::string_view value) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const std::size_t n = value.size();
  if (n >= 5 && value[n - 4] == '.' && digit(value[n - 3]) && digit(value[n - 2]) && digit(value[n - 1])) {
    std::size_t i = value[0] == '-' ? 1 : 0;
    const std::size_t point = n - 4;
    if (i < point) {
      while (i < point && digit(value[i])) ++i;
      if (i == point) return true;
    }
  }
  return records::reads_as_F(value);
}

// The numbers of an ATOM record as a scan reads them (`AtomNumbers`).
class WideAtomNumbers {
 public:
  explicit WideAtomNumbers(const WideAtomFields& fields) : fields_(fields) {}
  std::optional<std::int32_t> serial() const { return fields_.serial; }
  bool serial_reads() const { return true; }
  std::optional<std::int32_t> residue() const { return records::read_I(fields_.residue); }
  bool coordinates_read() const {
    return coordinate_reads(fields_.x) && coordinate_reads(fields_.y) && coordinate_reads(fields_.z);
  }
  std::optional<float> coordinate(std::string_view field) const { return records::read_F(field, 0); }

 private:
  const WideAtomFields& fields_;
};
inline WideAtomNumbers numbers_of(const WideAtomFields& fields) {
  return WideAtomNumbers(fields);
}

// The legacy file of an mmCIF entry writes a zero unsigned, where the
// mmCIF says "-0.000".
inline float coordinate_of(const WideAtomFields&, float value) {
  return value == 0.0F ? 0.0F : value;
}

}  // namespace reading
