#include "reading_runs.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>

#include "fuzz_support.hpp"
#include "records/output.hpp"

namespace fuzzing {

ReadingOutcome run_reading(records::FileSource& files, std::string_view entry, std::string_view read_from,
                           Routine routine, bool verbose, const reading::AtomType& atom_type, std::size_t limit) {
  records::Output console = records::Output::in_memory();
  records::Input input(1, files);
  input.limit_size(limit);
  reading::READING component(console, input);
  const reading::EntryPath path(entry);

  ReadingOutcome outcome;
  try {
    if (routine == Routine::helices) {
      component.HELICES(path, outcome.resolution, outcome.atoms, verbose, atom_type);
    } else {
      component.BACKBONES(path, outcome.resolution, outcome.atoms, verbose, atom_type);
    }
  } catch (const records::IoError& error) {
    // What an entry's content can do: end too early, hold a field that is
    // not a number, be compressed data that does not unpack, be larger than
    // the limit, or be mmCIF that does not read or does not fit.
    FUZZ_CHECK(
        error.failure() == records::Failure::end_of_file || error.failure() == records::Failure::input_conversion ||
        error.failure() == records::Failure::corrupt_compressed_data ||
        error.failure() == records::Failure::too_large || error.failure() == records::Failure::chain_name_too_long ||
        error.failure() == records::Failure::malformed_mmcif);
    FUZZ_CHECK(error.unit() == 1);
    FUZZ_CHECK(error.file() == read_from);
    outcome.failure = error.what();
    outcome.failure_kind = error.failure();
  }
  outcome.console = console.text();
  FUZZ_CHECK(whole_records(outcome.console));
  return outcome;
}

bool same_floats(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool same_atoms(const std::optional<reading::AtomList>& a, const std::optional<reading::AtomList>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return std::ranges::equal(*a, *b, [](const reading::AtomEntry& x, const reading::AtomEntry& y) {
    return x.residue == y.residue && x.chain == y.chain && same_floats(x.x, y.x) && same_floats(x.y, y.y) &&
           same_floats(x.z, y.z);
  });
}

void check_same_result(const ReadingOutcome& a, const ReadingOutcome& b) {
  FUZZ_CHECK(a.failure == b.failure);
  FUZZ_CHECK(same_floats(a.resolution, b.resolution));
  FUZZ_CHECK(same_atoms(a.atoms, b.atoms));
}

bool is_mmcif(std::string_view text) {
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string_view::npos && line[first] != '#') {
      std::string word(line.substr(first, 5));
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return word == "data_";
    }
    start = end + 1;
  }
  return false;
}

}  // namespace fuzzing
