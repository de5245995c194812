#include "inputs.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string_view>

#ifndef EXTRACT_REAL_ENTRIES
#define EXTRACT_REAL_ENTRIES "tests/data/pdb"
#endif

namespace bench_inputs {
namespace {

constexpr int max_serial = 99'999;  // five columns
constexpr std::string_view chain_letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Fixed seed: every build makes the same entry, so timings stay comparable.
class Random {
 public:
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 32);
  }
  int between(int low, int high) {  // inclusive
    return low + static_cast<int>(next() % static_cast<std::uint32_t>(high - low + 1));
  }

 private:
  std::uint64_t state_ = 0x9e3779b97f4a7c15ULL;
};

std::string padded(std::string_view line, std::size_t width = 80) {
  std::string out(line.substr(0, std::min(line.size(), width)));
  out.resize(width, ' ');
  return out;
}

void put_right(std::string& line, std::size_t column, std::size_t width, long value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%*ld", static_cast<int>(width), value);
  if (n != static_cast<int>(width)) throw std::runtime_error("number too wide for its columns");
  line.replace(column - 1, width, digits, width);
}

struct Residue {
  std::string name;                // columns 18-20
  std::vector<std::string> atoms;  // ATOM records, 80 columns
  std::vector<std::string> u;      // columns 29-70 of each atom's ANISOU, or empty
};

struct Pool {
  std::vector<Residue> residues;
  std::vector<std::string> u;  // every ANISOU's columns 29-70, lent to atoms without one
};

// Residues of the ATOM records that have an alpha carbon: every residue of
// the big entry then has one, so any residue can end a helix.
Pool residue_pool(const std::vector<RealEntry>& real) {
  Pool pool;
  for (const RealEntry& entry : real) {
    std::istringstream lines(entry.text);
    std::string line;
    Residue current;
    std::string current_key;
    const auto close = [&] {
      const bool has_ca = std::any_of(current.atoms.begin(), current.atoms.end(),
                                      [](const std::string& a) { return a.compare(12, 4, " CA ") == 0; });
      if (has_ca) pool.residues.push_back(std::move(current));
      current = Residue{};
      current_key.clear();
    };
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string record = padded(line);
      const std::string_view key(record.data(), 6);
      if (key == "ATOM  ") {
        const std::string residue_key = record.substr(17, 10);  // name, chain, number, insertion
        if (residue_key != current_key) {
          close();
          current_key = residue_key;
          current.name = record.substr(17, 3);
        }
        current.atoms.push_back(record);
        current.u.emplace_back();
      } else if (key == "ANISOU") {
        pool.u.push_back(record.substr(28, 42));
        if (!current.atoms.empty() && current.atoms.back().compare(6, 21, record, 6, 21) == 0) {
          current.u.back() = pool.u.back();
        }
      } else {
        close();
      }
    }
    close();
  }
  if (pool.residues.empty()) throw std::runtime_error("no residue with an alpha carbon in the real entries");
  if (pool.u.empty()) pool.u.emplace_back("   100    100    100      0      0      0");
  return pool;
}

struct Chain {
  char letter;
  std::vector<const Residue*> residues;
};

struct HelixPlan {
  char chain;
  int start;
  int end;
  std::string_view helix_class;
};

std::vector<HelixPlan> plan_helices(const std::vector<Chain>& chains, int total, Random& random) {
  std::size_t residues = 0;
  for (const Chain& c : chains) residues += c.residues.size();
  std::vector<HelixPlan> plan;
  int left = total;
  std::size_t residues_left = residues;
  for (const Chain& c : chains) {
    const auto n = static_cast<int>(c.residues.size());
    // A fair share of what is left, at most one helix per 8 residues.
    int count = residues_left == 0
                    ? 0
                    : static_cast<int>((static_cast<long>(left) * n + static_cast<long>(residues_left) / 2) /
                                       static_cast<long>(residues_left));
    count = std::min(count, n / 8);
    residues_left -= c.residues.size();
    left -= count;
    if (count == 0) continue;
    const int segment = n / count;
    for (int i = 0; i < count; ++i) {
      const int length = random.between(4, std::min(18, segment - 2));
      const int start = i * segment + 1 + random.between(0, segment - length - 1);
      const int roll = random.between(0, 99);
      const std::string_view helix_class = roll < 84 ? " 1" : roll < 92 ? " 6" : " 5";
      plan.push_back({c.letter, start, start + length - 1, helix_class});
    }
  }
  return plan;
}

void add_line(std::string& out, std::string_view line) {
  out += padded(line);
  out += '\n';
}

void add_seqres(std::string& out, const std::vector<Chain>& chains) {
  for (const Chain& c : chains) {
    const auto n = static_cast<long>(c.residues.size());
    std::string line;
    for (long i = 0; i < n; ++i) {
      if (i % 13 == 0) {
        if (!line.empty()) add_line(out, line);
        line = padded("SEQRES", 18);
        put_right(line, 8, 3, i / 13 + 1);
        line[11] = c.letter;
        put_right(line, 14, 4, n);
      }
      line += ' ';
      line += c.residues[static_cast<std::size_t>(i)]->name;
    }
    add_line(out, line);
  }
}

void add_helices(std::string& out, const std::vector<Chain>& chains, const std::vector<HelixPlan>& plan,
                 BigShape& shape) {
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const HelixPlan& h = plan[i];
    const Chain& c = *std::find_if(chains.begin(), chains.end(), [&](const Chain& x) { return x.letter == h.chain; });
    std::string line = padded("HELIX");
    // The serial and the identifier have three columns: past 999 they wrap.
    const auto number = static_cast<long>(i % 999 + 1);
    put_right(line, 8, 3, number);
    put_right(line, 12, 3, number);
    line.replace(15, 3, c.residues[static_cast<std::size_t>(h.start - 1)]->name);
    line[19] = h.chain;
    put_right(line, 22, 4, h.start);
    line.replace(27, 3, c.residues[static_cast<std::size_t>(h.end - 1)]->name);
    line[31] = h.chain;
    put_right(line, 34, 4, h.end);
    line.replace(38, 2, h.helix_class);
    put_right(line, 72, 5, h.end - h.start + 1);
    add_line(out, line);
    ++shape.helices;
    if (h.helix_class != " 5") ++shape.alpha_helices;
  }
}

// Helices of 6 to 20 residues packed along each chain in order, apart by
// gaps of at least one residue that share out the chain's remaining residues
// at random, `total` in all, shared evenly between the chains.
std::vector<HelixPlan> pack_helices(const std::vector<Chain>& chains, int total, Random& random) {
  std::vector<HelixPlan> plan;
  const auto chain_count = static_cast<int>(chains.size());
  for (int k = 0; k < chain_count; ++k) {
    const Chain& c = chains[static_cast<std::size_t>(k)];
    const int count = total / chain_count + (k < total % chain_count ? 1 : 0);
    std::vector<int> lengths(static_cast<std::size_t>(count));
    int helix_residues = 0;
    for (int& length : lengths) {
      length = random.between(6, 20);
      helix_residues += length;
    }
    const int spare = static_cast<int>(c.residues.size()) - helix_residues - (count + 1);
    if (spare < 0) throw std::runtime_error("the chains are too short for their helices");
    std::vector<int> gaps(static_cast<std::size_t>(count) + 1, 1);
    for (int i = 0; i < spare; ++i) ++gaps[static_cast<std::size_t>(random.between(0, count))];
    int residue = 1;
    for (int i = 0; i < count; ++i) {
      residue += gaps[static_cast<std::size_t>(i)];
      const int length = lengths[static_cast<std::size_t>(i)];
      plan.push_back({c.letter, residue, residue + length - 1, " 1"});
      residue += length;
    }
  }
  return plan;
}

// The records before the coordinates: title lines, the resolution, the
// chains' SEQRES records and the planned helices.
void add_head(std::string& out, std::string_view code, const std::string& title, const std::vector<Chain>& chains,
              const std::vector<HelixPlan>& plan, BigShape& shape) {
  add_line(out, "HEADER    SYNTHETIC ENTRY FOR TIMINGS                     08-DEC-25   " + std::string(code));
  add_line(out, "TITLE     " + title);
  add_line(out, "EXPDTA    X-RAY DIFFRACTION");
  add_line(out, "REMARK   2");
  add_line(out, "REMARK   2 RESOLUTION.    1.70 ANGSTROMS.");
  add_seqres(out, chains);
  add_helices(out, chains, plan, shape);
}

// The TER record that closes a chain whose last residue has `number`.
std::string ter_record(long serial, const Chain& c, int number) {
  std::string ter = padded("TER");
  put_right(ter, 7, 5, serial);
  ter.replace(17, 3, c.residues.back()->name);
  ter[21] = c.letter;
  put_right(ter, 23, 4, number);
  return ter;
}

}  // namespace

std::filesystem::path default_real_entries() {
  return EXTRACT_REAL_ENTRIES;
}

std::vector<RealEntry> read_real_entries(const std::filesystem::path& dir) {
  std::vector<RealEntry> entries;
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    if (!item.is_regular_file() || item.path().extension() != ".pdb") continue;
    std::ifstream in(item.path(), std::ios::binary);
    entries.push_back({item.path().filename().string(),
                       std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
  }
  std::sort(entries.begin(), entries.end(), [](const RealEntry& a, const RealEntry& b) { return a.name < b.name; });
  if (entries.empty()) throw std::runtime_error("no .pdb entries in " + dir.string());
  return entries;
}

BigEntry make_big_entry(const std::vector<RealEntry>& real, int first_chain, int helices) {
  const Pool pool = residue_pool(real);
  Random random;

  // Chains: the first one long, the rest sharing the serials that remain,
  // one TER record each.
  std::vector<Chain> chains;
  std::size_t cursor = 0;
  const auto next_residue = [&]() -> const Residue& { return pool.residues[cursor++ % pool.residues.size()]; };
  int serials = 0;
  chains.push_back({chain_letters[0], {}});
  for (int i = 0; i < first_chain; ++i) {
    const Residue& r = next_residue();
    serials += static_cast<int>(r.atoms.size());
    chains.back().residues.push_back(&r);
  }
  ++serials;  // TER
  if (serials > max_serial) throw std::runtime_error("the first chain alone needs more than 99,999 serials");
  for (std::size_t k = 1; k < chain_letters.size(); ++k) {
    const auto chains_left = static_cast<int>(chain_letters.size() - k);
    const int share = (max_serial - serials) / chains_left - 1;
    Chain chain{chain_letters[k], {}};
    int used = 0;
    for (;;) {
      const Residue& r = pool.residues[cursor % pool.residues.size()];
      if (used + static_cast<int>(r.atoms.size()) > share) break;
      used += static_cast<int>(r.atoms.size());
      chain.residues.push_back(&next_residue());
    }
    if (chain.residues.empty()) break;
    serials += used + 1;
    chains.push_back(std::move(chain));
  }

  const std::vector<HelixPlan> plan = plan_helices(chains, helices, random);

  BigEntry big;
  BigShape& shape = big.shape;
  std::string& out = big.text;
  out.reserve(static_cast<std::size_t>(serials) * 2 * 81 + 200'000);
  const auto add = [&](std::string_view line) { add_line(out, line); };

  add_head(out, "XBIG",
           "RESIDUES OF THE BUNDLED ENTRIES TILED INTO " + std::to_string(chains.size()) + " CHAINS, THE FIRST " +
               std::to_string(first_chain) + " LONG",
           chains, plan, shape);

  int serial = 0;
  std::size_t lent = 0;
  for (const Chain& c : chains) {
    int number = 0;
    for (const Residue* r : c.residues) {
      ++number;
      for (std::size_t a = 0; a < r->atoms.size(); ++a) {
        std::string atom = r->atoms[a];
        put_right(atom, 7, 5, ++serial);
        atom[21] = c.letter;
        put_right(atom, 23, 4, number);
        atom[26] = ' ';
        add(atom);
        // Every atom gets an ANISOU record, as in the entries that have
        // them, which doubles the records a scan has to pass over.
        const std::string& u = r->u[a].empty() ? pool.u[lent++ % pool.u.size()] : r->u[a];
        add("ANISOU" + atom.substr(6, 22) + u + atom.substr(70, 10));
        ++shape.atoms;
      }
    }
    add(ter_record(++serial, c, number));
    shape.residues += number;
  }
  add("END");

  shape.bytes = out.size();
  shape.serials = serial;
  shape.chains = static_cast<int>(chains.size());
  shape.first_chain = static_cast<int>(chains.front().residues.size());
  return big;
}

BigEntry make_many_helices_entry(const std::vector<RealEntry>& real, int chains_wanted, int residues_per_chain,
                                 int helices) {
  if (chains_wanted < 1 || static_cast<std::size_t>(chains_wanted) > chain_letters.size()) {
    throw std::runtime_error("one chain letter per chain");
  }
  if (residues_per_chain < 1 || residues_per_chain > 9999) throw std::runtime_error("residue numbers have 4 columns");
  const Pool pool = residue_pool(real);
  Random random;

  std::vector<Chain> chains;
  std::size_t cursor = 0;
  for (int k = 0; k < chains_wanted; ++k) {
    Chain& chain = chains.emplace_back(Chain{chain_letters[static_cast<std::size_t>(k)], {}});
    for (int i = 0; i < residues_per_chain; ++i)
      chain.residues.push_back(&pool.residues[cursor++ % pool.residues.size()]);
  }
  const std::vector<HelixPlan> plan = pack_helices(chains, helices, random);

  BigEntry entry;
  BigShape& shape = entry.shape;
  std::string& out = entry.text;
  out.reserve(static_cast<std::size_t>(chains_wanted) * static_cast<std::size_t>(residues_per_chain) * 4 * 81 +
              static_cast<std::size_t>(helices) * 81 + 2'000'000);
  const auto add = [&](std::string_view line) { add_line(out, line); };

  add_head(out, "XHLX",
           "BACKBONES OF THE BUNDLED ENTRIES' RESIDUES IN " + std::to_string(chains.size()) + " CHAINS OF " +
               std::to_string(residues_per_chain) + " RESIDUES",
           chains, plan, shape);

  // The backbone of every residue (the first N, CA, C and O it has, in that
  // order), so that two alpha carbons never carry consecutive serials, which
  // would make the second an alternate location of the first. Past 99,999
  // the five-column serials wrap round.
  constexpr std::string_view backbone[] = {" N  ", " CA ", " C  ", " O  "};
  long serial = 0;
  const auto next_serial = [&] { return ++serial % (max_serial + 1); };
  for (const Chain& c : chains) {
    int number = 0;
    for (const Residue* r : c.residues) {
      ++number;
      for (const std::string_view name : backbone) {
        const auto atom_of_name = std::find_if(r->atoms.begin(), r->atoms.end(),
                                               [&](const std::string& a) { return a.compare(12, 4, name) == 0; });
        if (atom_of_name == r->atoms.end()) continue;
        std::string atom = *atom_of_name;
        put_right(atom, 7, 5, next_serial());
        atom[16] = ' ';  // no alternate location
        atom[21] = c.letter;
        put_right(atom, 23, 4, number);
        atom[26] = ' ';
        add(atom);
        ++shape.atoms;
      }
    }
    add(ter_record(next_serial(), c, number));
    shape.residues += number;
  }
  add("END");

  shape.bytes = out.size();
  shape.serials = static_cast<int>(serial);
  shape.chains = static_cast<int>(chains.size());
  shape.first_chain = residues_per_chain;
  return entry;
}

}  // namespace bench_inputs
