// The entry open on its connection.

#include "entry.hpp"

#include <string>

#include "records/failures.hpp"
#include "records/fields.hpp"

namespace reading {

void open_entry(records::Input& entry, std::string_view path) {
  using records::Content;
  if (entry.open_if_there(path, Content::unpacked)) return;
  if (entry.open_if_there(std::string(path) + ".gz", Content::unpacked)) return;
  throw records::IoError(records::Failure::file_not_found, entry.unit(), path);
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
