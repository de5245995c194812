// The opening that both extraction routines share: the entry's title lines
// and its resolution.
#pragma once

#include "reading/reading.hpp"
#include "records/input.hpp"
#include "records/output.hpp"

namespace reading {

// Opens the entry and runs the header scan: the two title lines and the
// resolution, reported when `verbose`. The resolution is left as it is when
// the entry states that none applies. The entry stays open, positioned just
// after the resolution record.
void open_and_scan_header(records::Input& entry, const EntryPath& entry_path, records::Output& console, bool verbose,
                          float& resolution);

}  // namespace reading
