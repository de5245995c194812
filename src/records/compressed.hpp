// Entries as the archive distributes them: gzip data, unpacked whole.
#pragma once

#include <optional>
#include <string_view>

#include "memory.hpp"

namespace records {

// True when `content` begins like gzip data.
bool is_compressed(std::string_view content);
// The unpacked text of gzip data, all its members in turn, in `into`;
// nullopt when the data is corrupt, truncated or followed by anything else.
std::optional<std::string_view> unpack(std::string_view compressed, PageBuffer& into);

}  // namespace records
