// The opening that both extraction routines share: title lines and
// resolution.

#include "header_scan.hpp"

#include "entry.hpp"
#include "layouts.hpp"

namespace reading {

void open_and_scan_header(records::Input& entry, const EntryPath& entry_path, records::Output& console, bool verbose,
                          float& resolution) {
  open_entry(entry, entry_path.trimmed());

  const TitleFields first = read_title(entry.read_or_fail());
  if (verbose) {
    console.record().text("   The following protein is going to be analysed:").end();
    console.free_form();
    console.record().text("   ").A(first.text.view(), 60).end();
  }
  const TitleFields second = read_title(entry.read_or_fail());
  if (verbose) {
    console.record().text("   ").A(second.text.view(), 60).end();
    console.free_form();
  }

  // The search starts at record 3: the title lines are never tested. The key
  // has no trailing blank, so a record matches exactly when it begins with
  // the key; the others need no fields read.
  std::string_view record;
  do {
    record = entry.read_or_fail();
  } while (!record.starts_with(resolution_key));
  const ResolutionFields remark = read_resolution(record);

  if (remark.text == no_resolution) {
    if (verbose) {
      console.record().text("   No resolution specified !!! ").end();
      console.free_form();
    }
    return;
  }
  resolution = convert_F(entry, remark.number_text());
  if (verbose) {
    console.record().text("   The structure data has a resolution of ").F(resolution, 4, 2).text(" angstroems").end();
    console.free_form();
  }
}

}  // namespace reading
