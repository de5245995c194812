// The entry open on its connection.

#include "entry.hpp"

#include <string>

#include "cif/text.hpp"
#include "records/failures.hpp"
#include "records/fields.hpp"
#include "records/names.hpp"

namespace reading {

void open_entry(records::Input& entry, std::string_view path) {
  using records::Content;
  if (entry.open_if_there(path, Content::unpacked)) return;
  // A name at the system's limits leaves no room for the suffix: there is
  // no such file to look for.
  const std::string packed = std::string(path) + ".gz";
  if (records::within_system_limits(packed) && entry.open_if_there(packed, Content::unpacked)) return;
  throw records::IoError(records::Failure::file_not_found, entry.unit(), path);
}

bool holds_mmcif(records::Input& entry) {
  bool mmcif = false;
  while (const auto record = entry.read()) {
    const std::size_t first = record->find_first_not_of(" \t\r");
    if (first == std::string_view::npos || (*record)[first] == '#') continue;
    mmcif = cif::same_name(record->substr(first, 5), "data_");
    break;
  }
  entry.rewind();
  return mmcif;
}

std::int32_t convert_I(const records::Input& entry, std::string_view field) {
  const auto value = records::read_I(field);
  if (!value) entry.fail(records::Failure::input_conversion);
  return *value;
}

float convert_F(const records::Input& entry, std::string_view field) {
  const auto value = records::read_F(field, 0);
  if (!value) entry.fail(records::Failure::input_conversion);
  return *value;
}

}  // namespace reading
