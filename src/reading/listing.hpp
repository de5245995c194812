// The console listing of the atoms collected, shared by both routines.
#pragma once

#include <cstddef>

#include "reading/reading.hpp"
#include "records/output.hpp"

namespace reading {

// The width in which the console shows a chain's name whole: a legacy
// entry's one column, or as many as the name has.
constexpr int shown_width(const ChainName& chain) {
  return chain.size() > 1 ? static_cast<int>(chain.size()) : 1;
}

void write_listing_header(records::Output& console);
// One atom, numbered by its position in the atom list, from 1.
void write_listing_line(records::Output& console, std::size_t position, const AtomEntry& atom);

}  // namespace reading
