// The opening that both extraction routines share: the entry's title lines
// and its resolution, whichever format the entry is in.
#pragma once

#include <algorithm>
#include <string_view>

#include "entry.hpp"
#include "layouts.hpp"
#include "records/failures.hpp"
#include "records/output.hpp"

namespace reading {

// Runs the header scan on the open entry: the two title lines and the
// resolution, reported when `verbose`. The resolution is left as it is when
// the entry states that none applies, and, with `allow_no_resolution`, when
// it states none at all; without, such an entry ends where the resolution
// is looked for. A legacy entry is left positioned just after its
// resolution record, or, without one, after its title lines.
template <class Entry>
void scan_header(Entry& entry, records::Output& console, bool verbose, float& resolution, bool allow_no_resolution) {
  // Columns 11-70 of a title line; an mmCIF entry's extended id runs on past
  // column 70 and is shown whole.
  const auto show_title = [&](std::string_view text) {
    console.record().text("   ").A(text, static_cast<int>(std::max<std::size_t>(text.size(), 60))).end();
  };
  const std::string_view first = entry.title();
  if (verbose) {
    console.record().text("   The following protein is going to be analysed:").end();
    console.free_form();
    show_title(first);
  }
  const std::string_view second = entry.title();
  if (verbose) {
    show_title(second);
    console.free_form();
  }

  const ResolutionText remark = entry.resolution();
  if (!remark.stated && !allow_no_resolution) entry.fail(records::Failure::end_of_file);
  if (remark.not_applicable || !remark.stated) {
    if (verbose) {
      console.record().text("   No resolution specified !!! ").end();
      console.free_form();
    }
    return;
  }
  resolution = convert_F(entry.input(), remark.number);
  if (verbose) {
    console.record().text("   The structure data has a resolution of ").F(resolution, 4, 2).text(" angstroems").end();
    console.free_form();
  }
}

}  // namespace reading
