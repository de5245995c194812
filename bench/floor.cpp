// floor: the least work that writes the same export files as extract, so
// that extract's timings have something to be measured against.
//
//   floor [--read] backbone|helix ATOM [NAME]
//
// Run in a working directory like extract's: reads PDB/NAME, or every name
// listed in Files.ini, and writes source/<name>.bck or .hel and goodfiles.txt
// with the same bytes. Like extract, it reads PDB/<name>.gz when there is no
// PDB/<name>, and decompresses an entry that starts with the gzip magic whole
// before scanning it. Each entry is got into memory once (see entry_bytes.hpp)
// and its records walked once, each line end found once. The console gets
// a single line.
//
// --read reads every file into the reused memory, never maps one, for
// figures against a floor that gets its entries that way.
//
// The helix export follows extract on entries where every helix's last
// residue has an atom of the chosen type in the helix's chain, as in real
// entries and in the generated big entry; where it has none extract either
// stops at an unrelated record or fails at the end of the file, and floor
// reports an error.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "entry_bytes.hpp"
#include "records/fields.hpp"
#include "records/lines.hpp"

namespace {

using std::string_view;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void write_whole(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw Failure("cannot create " + path + ": " + std::strerror(errno));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      throw Failure("cannot write " + path);
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

// Record by record, without line ends: LF, and a CR directly before it.
// A record of 80 columns has its line end looked at where it would be, as
// extract looks (records/lines.hpp).
class Records {
 public:
  explicit Records(string_view text) : at_(text.data()), end_(text.data() + text.size()) {}
  bool next(string_view& record) {
    if (at_ >= end_) return false;
    const auto left = static_cast<std::size_t>(end_ - at_);
    if (left > records::full_record + 1) {
      if (const char* newline = records::full_record_end(at_)) return take(record, newline);
    }
    const auto* newline = static_cast<const char*>(std::memchr(at_, '\n', left));
    if (newline == nullptr) {
      record = string_view(at_, left);
      at_ = end_;
      return true;
    }
    return take(record, newline);
  }
  // Where the next record begins, and the records from there on.
  const char* position() const { return at_; }
  Records rest() const { return Records(string_view(at_, static_cast<std::size_t>(end_ - at_))); }

 private:
  bool take(string_view& record, const char* newline) {
    record = string_view(at_, static_cast<std::size_t>(newline - at_));
    if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
    at_ = newline + 1;
    return true;
  }

  const char* at_;
  const char* end_;
};

// Columns past the end of a shorter record read as blanks.
inline bool columns_are(string_view record, std::size_t from, string_view text) {
  if (record.size() >= from + text.size()) return std::memcmp(record.data() + from, text.data(), text.size()) == 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = from + i < record.size() ? record[from + i] : ' ';
    if (c != text[i]) return false;
  }
  return true;
}

// `width` columns from `from`, copied out only when the record is too short.
inline string_view field(string_view record, std::size_t from, std::size_t width, std::array<char, 16>& spare) {
  if (record.size() >= from + width) return record.substr(from, width);
  for (std::size_t i = 0; i < width; ++i) spare[i] = from + i < record.size() ? record[from + i] : ' ';
  return {spare.data(), width};
}

// An I field as extract reads it: blanks anywhere ignored, a blank field zero.
std::int32_t int_field(string_view record, std::size_t from, std::size_t width) {
  std::array<char, 16> spare{};
  const string_view text = field(record, from, width, spare);
  std::int32_t value = 0;
  bool negative = false;
  bool seen_sign = false;
  bool seen_digit = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      seen_digit = true;
    } else if (c == ' ') {
      continue;
    } else if ((c == '+' || c == '-') && !seen_sign && !seen_digit) {
      seen_sign = true;
      negative = c == '-';
    } else {
      throw Failure("not a number: '" + std::string(text) + "'");
    }
  }
  if (seen_sign && !seen_digit) throw Failure("not a number: '" + std::string(text) + "'");
  return negative ? -value : value;
}

void put_int(std::string& out, std::int64_t value, std::size_t width) {
  std::array<char, 24> digits{};
  const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  const auto n = static_cast<std::size_t>(end - digits.data());
  if (n > width) {
    out.append(width, '*');
    return;
  }
  out.append(width - n, ' ');
  out.append(digits.data(), n);
}

// F10.3 of an F8 coordinate field. A field already written the way the
// export writes it (digits, a point and three decimals) is copied as it
// stands; that is what nearly every entry holds. Anything else goes through
// the same conversions as extract.
void put_coordinate(std::string& out, string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const string_view t = text.substr(i);
  std::size_t j = t.empty() || t[0] != '-' ? 0 : 1;
  const std::size_t integer_start = j;
  while (j < t.size() && t[j] >= '0' && t[j] <= '9') ++j;
  const std::size_t integer_digits = j - integer_start;
  const bool canonical = integer_digits > 0 && (integer_digits == 1 || t[integer_start] != '0') && j + 4 == t.size() &&
                         t[j] == '.' && t[j + 1] >= '0' && t[j + 1] <= '9' && t[j + 2] >= '0' && t[j + 2] <= '9' &&
                         t[j + 3] >= '0' && t[j + 3] <= '9';
  if (canonical) {
    out.append(10 - t.size(), ' ');
    out.append(t);
    return;
  }
  const auto value = records::read_F(text, 0);
  if (!value) throw Failure("not a number: '" + std::string(text) + "'");
  records::put_F(out, *value, 10, 3);
}

struct Found {
  std::int32_t residue;
  string_view record;  // into the entry's text, which outlives the export
};

// Into `out`, whose memory is reused from one export to the next.
void export_text(string_view atom_type, float resolution, const std::vector<Found>& atoms, std::string& out) {
  out.clear();
  out.reserve(300 + atoms.size() * 53);
  out += "Atom cartesian coordinates from PDB\r\n";
  out += "Brindlemark project. File created using Quarryman.\r\n";
  out += " \r\n";
  out += "Atom type : ";
  out += atom_type;
  out += "\r\n";
  out += "Resolution [\xC3\x85] : ";
  records::put_F(out, resolution, 4, 2);
  out += "\r\n \r\n";
  out += "Entry     x [\xC3\x85]     y [\xC3\x85]     z [\xC3\x85]  residue  chain\r\n";
  out += " \r\n";
  std::array<char, 16> spare{};
  std::int64_t entry = 0;
  for (const Found& atom : atoms) {
    put_int(out, ++entry, 5);
    put_coordinate(out, field(atom.record, 30, 8, spare));
    put_coordinate(out, field(atom.record, 38, 8, spare));
    put_coordinate(out, field(atom.record, 46, 8, spare));
    put_int(out, atom.residue, 9);
    out.append(6, ' ');
    out += atom.record.size() > 21 ? atom.record[21] : ' ';
    out += "\r\n";
  }
}

constexpr string_view atom_key = "ATOM  ";

// The records read before a scan that the scan would only pass over: where
// every one from the first is such, the scan starts after them, and no line
// end is found twice (extract does the same, reading/legacy_entry.hpp).
class Prefix {
 public:
  explicit Prefix(string_view atom_type) : atom_type_(atom_type) {}
  void note(string_view record) {
    passed_over_ = passed_over_ && !columns_are(record, 0, atom_key) && !columns_are(record, 0, "TER   ") &&
                   !columns_are(record, 12, atom_type_);
    no_helix_ = no_helix_ && !columns_are(record, 0, "HELIX ");
  }
  // Whether the scans, and the collection of the HELIX records, may start
  // after the records noted.
  bool passed_over() const { return passed_over_; }
  bool passed_over_without_helices() const { return passed_over_ && no_helix_; }

 private:
  string_view atom_type_;
  bool passed_over_ = true;
  bool no_helix_ = true;
};

// Records 1 and 2 are the title lines; the resolution record is looked for
// from record 3 on. Leaves `records` just after it.
float scan_header(Records& records, Prefix& prefix) {
  string_view r;
  for (int title = 0; title < 2; ++title) {
    if (!records.next(r)) throw Failure("end of file in the title lines");
    prefix.note(r);
  }
  for (;;) {
    if (!records.next(r)) throw Failure("end of file before the resolution record");
    prefix.note(r);
    if (columns_are(r, 0, "REMARK   2 RESOLUTION.")) break;
  }
  if (columns_are(r, 22, " NOT ")) return 0.0F;
  std::array<char, 16> spare{};
  const string_view text = columns_are(r, 27, ".") ? field(r, 22, 8, spare) : field(r, 22, 5, spare);
  const auto value = records::read_F(text, 0);
  if (!value) throw Failure("resolution is not a number");
  return *value;
}

// The atoms along the first chain, by the same rules as extract's scan.
std::vector<Found> backbone(string_view text, string_view atom_type, float& resolution) {
  Records header(text);
  Prefix prefix(atom_type);
  resolution = scan_header(header, prefix);
  string_view r;
  do {
    if (!header.next(r)) throw Failure("end of file before SEQRES");
    prefix.note(r);
  } while (!columns_are(r, 0, "SEQRES"));
  const std::int32_t expected = int_field(r, 13, 4);

  std::vector<Found> atoms;
  atoms.reserve(static_cast<std::size_t>(std::max(expected, 0)));
  std::int32_t current = 0;
  std::int32_t previous_serial = -10;
  Records records = prefix.passed_over() ? header.rest() : Records(text);
  for (;;) {
    const std::int32_t previous = current;
    if (!records.next(r)) {
      atoms.resize(std::min(static_cast<std::size_t>(std::max(current, 0)), atoms.size()));
      break;
    }
    const bool of_type = columns_are(r, 12, atom_type);
    const bool is_atom = columns_are(r, 0, atom_key);
    if (is_atom) {
      if (of_type) {
        const std::int32_t serial = int_field(r, 6, 5);
        if (serial == previous_serial + 1) {  // an alternate location
          previous_serial = serial;
          continue;
        }
        previous_serial = serial;
      }
      current = int_field(r, 22, 4);
    }
    if (current < previous) {
      atoms.resize(std::min(static_cast<std::size_t>(std::max(previous, 0)), atoms.size()));
      break;
    }
    if (is_atom && of_type) atoms.push_back({current, r});
    if (columns_are(r, 0, "TER   ") || (of_type && current == expected)) break;
  }
  return atoms;
}

struct Helix {
  unsigned char chain;
  std::int32_t start;
  std::int32_t end;
};

// The atoms of the alpha helices of the first run of HELIX records, helix
// by helix; nothing when the entry declares none.
std::optional<std::vector<Found>> helices(string_view text, string_view atom_type, float& resolution) {
  Records header(text);
  Prefix prefix(atom_type);
  resolution = scan_header(header, prefix);

  // One pass: the helices, and each chain's atoms of the chosen type.
  std::vector<Helix> table;
  enum { before_run, in_run, after_run } run = before_run;
  std::array<std::vector<Found>, 256> chains;
  std::array<std::int32_t, 256> previous_serial;
  previous_serial.fill(-10);
  std::array<bool, 256> ascending;
  ascending.fill(true);
  Records records = prefix.passed_over_without_helices() ? header.rest() : Records(text);
  string_view r;
  while (records.next(r)) {
    const bool is_helix = columns_are(r, 0, "HELIX ");
    // Any other record ends the run, HELIX records of other classes do not.
    if (run == in_run && !is_helix) run = after_run;
    if (columns_are(r, 0, atom_key)) {
      if (!columns_are(r, 12, atom_type)) continue;
      const auto chain = static_cast<unsigned char>(r.size() > 21 ? r[21] : ' ');
      const std::int32_t serial = int_field(r, 6, 5);
      const bool alternate = serial == previous_serial[chain] + 1;
      previous_serial[chain] = serial;
      if (alternate) continue;
      const std::int32_t residue = int_field(r, 22, 4);
      std::vector<Found>& atoms = chains[chain];
      if (!atoms.empty() && residue < atoms.back().residue) ascending[chain] = false;
      atoms.push_back({residue, r});
    } else if (is_helix && run != after_run && (columns_are(r, 38, " 1") || columns_are(r, 38, " 6"))) {
      run = in_run;
      table.push_back(
          {static_cast<unsigned char>(r.size() > 19 ? r[19] : ' '), int_field(r, 21, 4), int_field(r, 33, 4)});
    }
  }
  if (table.empty()) return std::nullopt;

  std::vector<Found> found;
  for (const Helix& helix : table) {
    const std::vector<Found>& atoms = chains[helix.chain];
    auto at = atoms.begin();
    if (ascending[helix.chain]) {
      at = std::lower_bound(atoms.begin(), atoms.end(), helix.start,
                            [](const Found& a, std::int32_t start) { return a.residue < start; });
    }
    bool ended = false;
    for (; at != atoms.end(); ++at) {
      if (helix.start <= at->residue && at->residue <= helix.end) found.push_back(*at);
      if (at->residue >= helix.end) {
        ended = true;
        break;
      }
    }
    if (!ended)
      throw Failure("no atom of the chosen type ends a helix of chain " +
                    std::string(1, static_cast<char>(helix.chain)));
  }
  return found;
}

// A name of the list: its first 12 columns, blank-padded.
std::string list_name(string_view text) {
  std::string name(text.substr(0, std::min<std::size_t>(text.size(), 12)));
  name.resize(12, ' ');
  return name;
}

string_view trimmed(string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The extension after the first dot, within the 12 characters.
void rewrite_extension(std::string& name, string_view letters) {
  std::size_t dot = name.find('.');
  if (dot == std::string::npos) {
    dot = trimmed(name).size();
    if (dot >= name.size()) return;
    name[dot] = '.';
  }
  for (std::size_t i = 0; i < letters.size() && dot + 1 + i < name.size(); ++i) name[dot + 1 + i] = letters[i];
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argv[0];
  const bool read_only = argc > 1 && string_view(argv[1]) == "--read";
  if (read_only) {
    --argc;
    ++argv;
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s [--read] backbone|helix ATOM [NAME]\n", program);
    return 2;
  }
  const string_view mode = argv[1];
  if (mode != "backbone" && mode != "helix") {
    std::fprintf(stderr, "floor: mode is backbone or helix\n");
    return 2;
  }
  const bool helix_mode = mode == "helix";
  // " CA ": a blank, then the answer's first three characters.
  std::string atom_type = " " + std::string(string_view(argv[2]).substr(0, 3));
  atom_type.resize(4, ' ');

  try {
    entry_bytes::Loader loader(read_only ? entry_bytes::Strategy::read_only : entry_bytes::Strategy::map_large);
    std::vector<std::string> names;
    if (argc == 4) {
      names.push_back(list_name(argv[3]));
    } else {
      Records list(loader.read("Files.ini"));
      string_view r;
      while (list.next(r)) names.push_back(list_name(r));
    }

    std::string good;
    std::string out;
    std::size_t exported = 0;
    for (std::string& name : names) {
      const string_view text = loader.load(std::string(trimmed("PDB/" + name)));
      float resolution = 0.0F;
      std::optional<std::vector<Found>> atoms;
      if (helix_mode) {
        atoms = helices(text, atom_type, resolution);
      } else {
        atoms = backbone(text, atom_type, resolution);
      }
      rewrite_extension(name, helix_mode ? "hel" : "bck");
      if (!atoms) continue;
      export_text(atom_type, resolution, *atoms, out);
      write_whole("source/" + std::string(trimmed(name)), out);
      good += ' ' + name + "\r\n";
      ++exported;
    }
    write_whole("goodfiles.txt", good);
    std::printf(" DONE ! %zu of %zu entries exported\r\n", exported, names.size());
    return 0;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "floor: %s\n", e.what());
    return 1;
  }
}
