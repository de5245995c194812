// Micro-benchmarks of the paths every record of an entry goes through, of
// the two extraction routines on the generated big entry, and of helix mode
// on an entry crowded with helices.
//
// The entries are built in-process from the bundled real entries (the same
// ones make_inputs writes) and, for the routines that open them by name,
// written to a temporary working directory that is removed at exit.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "inputs.hpp"
#include "helix_scan.hpp"
#include "legacy_entry.hpp"
#include "reading/reading.hpp"
#include "records/chars.hpp"
#include "records/fields.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "test_doubles.hpp"

namespace {

namespace fs = std::filesystem;

const std::vector<bench_inputs::RealEntry>& real_entries() {
  static const std::vector<bench_inputs::RealEntry> entries =
      bench_inputs::read_real_entries(bench_inputs::default_real_entries());
  return entries;
}

const bench_inputs::BigEntry& big() {
  static const bench_inputs::BigEntry entry = bench_inputs::make_big_entry(real_entries());
  return entry;
}

// 10,000 helices over 60 chains of 3,000 residues.
const bench_inputs::BigEntry& many_helices() {
  static const bench_inputs::BigEntry entry = bench_inputs::make_many_helices_entry(real_entries());
  return entry;
}

// The entry's ATOM records, without line ends.
const std::vector<std::string_view>& atom_records() {
  static const std::vector<std::string_view> records = [] {
    std::vector<std::string_view> out;
    std::string_view text = big().text;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      const std::string_view line = text.substr(0, end);
      if (line.substr(0, 6) == "ATOM  ") out.push_back(line);
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
    return out;
  }();
  return records;
}

// A few thousand records' worth of fields: enough to defeat branch
// prediction on the digits, small enough to stay in cache.
constexpr std::size_t sample_size = 4096;

std::vector<std::string_view> sample_fields(std::size_t column, std::size_t width) {
  std::vector<std::string_view> fields;
  for (const std::string_view record : atom_records()) {
    fields.push_back(record.substr(column, width));
    if (fields.size() == sample_size) break;
  }
  return fields;
}

// The routines open "PDB/<name>" relative to the working directory, like
// the tool does; this one holds the entries for as long as the process.
class WorkingDirectory {
 public:
  WorkingDirectory() {
    char pattern[] = "/tmp/extract-micro-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    dir_ = pattern;
    fs::create_directories(dir_ / "PDB");
    fs::current_path(dir_);
  }
  ~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path("/", ignored);
    fs::remove_all(dir_, ignored);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  fs::path dir_;
};

// The entry as PDB/<name> in the working directory, written on first use.
reading::EntryPath placed(const std::string& name, const bench_inputs::BigEntry& entry) {
  static const WorkingDirectory dir;
  static std::set<std::string> written;
  if (written.insert(name).second) std::ofstream(fs::path("PDB") / name, std::ios::binary) << entry.text;
  return reading::EntryPath("PDB/" + name);
}

// ---------------------------------------------------------------------------
// Field output: every exported atom is one I5, three F10.3 and one I9.

void BM_put_F(benchmark::State& state) {
  std::vector<float> values;
  for (const std::string_view f : sample_fields(30, 8)) values.push_back(records::read_F(f, 0).value());
  std::string out;
  out.reserve(values.size() * 10);
  for (auto _ : state) {
    out.clear();
    for (const float v : values) records::put_F(out, v, 10, 3);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_put_F);

void BM_put_I(benchmark::State& state) {
  std::vector<std::int32_t> values;
  for (const std::string_view f : sample_fields(6, 5)) values.push_back(records::read_I(f).value());
  const auto width = static_cast<int>(state.range(0));
  std::string out;
  out.reserve(values.size() * 9);
  for (auto _ : state) {
    out.clear();
    for (const std::int32_t v : values) records::put_I(out, v, width);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_put_I)->Arg(5)->Arg(9);

// ---------------------------------------------------------------------------
// Field input: every ATOM record converts a serial, a residue and x, y, z.

void BM_read_F(benchmark::State& state) {
  const std::vector<std::string_view> fields = sample_fields(30, 8);
  for (auto _ : state) {
    float sum = 0.0F;
    for (const std::string_view f : fields) sum += *records::read_F(f, 0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(fields.size()));
}
BENCHMARK(BM_read_F);

void BM_read_I(benchmark::State& state) {
  // Serials (I5) and residue numbers (I4) alternate, as in a scan.
  std::vector<std::string_view> fields;
  const auto serials = sample_fields(6, 5);
  const auto residues = sample_fields(22, 4);
  for (std::size_t i = 0; i < serials.size(); ++i) {
    fields.push_back(serials[i]);
    fields.push_back(residues[i]);
  }
  for (auto _ : state) {
    std::int32_t sum = 0;
    for (const std::string_view f : fields) sum += *records::read_I(f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(fields.size()));
}
BENCHMARK(BM_read_I);

// The ATOM layout: name, serial, atom name (5 columns into 4), chain,
// residue, x, y, z. Spelled out here rather than taken from the reading
// component's own layouts, which are not part of its interface.
void BM_FieldReader_atom(benchmark::State& state) {
  std::vector<std::string_view> sample(atom_records().begin(),
                                       atom_records().begin() + static_cast<std::ptrdiff_t>(sample_size));
  records::Chars<6> name;
  records::Chars<5> serial;
  records::Chars<4> atom_name;
  records::Chars<1> chain;
  records::Chars<4> residue;
  records::Chars<8> x;
  records::Chars<8> y;
  records::Chars<8> z;
  for (auto _ : state) {
    for (const std::string_view record : sample) {
      records::FieldReader(record)
          .A(6, name)
          .A(5, serial)
          .A(5, atom_name)
          .skip(5)
          .A(1, chain)
          .A(4, residue)
          .skip(4)
          .A(8, x)
          .A(8, y)
          .A(8, z);
      benchmark::DoNotOptimize(&z);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(sample.size()));
}
BENCHMARK(BM_FieldReader_atom);

// ---------------------------------------------------------------------------
// Whole-entry passes.

void BM_Input_read_all(benchmark::State& state) {
  const std::string& text = big().text;
  testing_support::FilesInMemory files;
  files.add("PDB/big.pdb", text);
  records::Input entry(1, files);
  std::size_t count = 0;
  for (auto _ : state) {
    entry.open_old("PDB/big.pdb");
    count = 0;
    while (const auto record = entry.read()) {
      benchmark::DoNotOptimize(record->data());
      ++count;
    }
  }
  state.counters["records"] = static_cast<double>(count);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Input_read_all)->Unit(benchmark::kMillisecond);

// The same pass after a rewind, without taking the text in: what each of
// helix mode's rescans costs before any field is read.
void BM_Input_rescan(benchmark::State& state) {
  const std::string& text = big().text;
  testing_support::FilesInMemory files;
  files.add("PDB/big.pdb", text);
  records::Input entry(1, files);
  entry.open_old("PDB/big.pdb");
  for (auto _ : state) {
    entry.rewind();
    while (const auto record = entry.read()) benchmark::DoNotOptimize(record->data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Input_rescan)->Unit(benchmark::kMillisecond);

using Routine = void (reading::READING::*)(const reading::EntryPath&, float&, std::optional<reading::AtomList>&, bool,
                                           const reading::AtomType&);

// One routine on an entry as the tool runs it: from the file, verbose, with
// the console kept in memory (a fresh one each time, since a capture keeps
// everything written to it).
void run_routine(benchmark::State& state, Routine routine, const std::string& name,
                 const bench_inputs::BigEntry& source) {
  const reading::EntryPath path = placed(name, source);
  const reading::AtomType atom_type(" CA ");
  std::size_t atoms = 0;
  std::size_t console_bytes = 0;
  for (auto _ : state) {
    records::Output console = records::Output::in_memory();
    records::Input entry(1);
    reading::READING component(console, entry);
    float resolution = 0.0F;
    std::optional<reading::AtomList> list;
    (component.*routine)(path, resolution, list, true, atom_type);
    atoms = list ? list->size() : 0;
    console_bytes = console.text().size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["atoms"] = static_cast<double>(atoms);
  state.counters["console_bytes"] = static_cast<double>(console_bytes);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.text.size()));
}

void BM_BACKBONES(benchmark::State& state) {
  run_routine(state, &reading::READING::BACKBONES, "big.pdb", big());
}
BENCHMARK(BM_BACKBONES)->Unit(benchmark::kMillisecond);

void BM_HELICES(benchmark::State& state) {
  run_routine(state, &reading::READING::HELICES, "big.pdb", big());
}
BENCHMARK(BM_HELICES)->Unit(benchmark::kMillisecond);

void BM_HELICES_many_helices(benchmark::State& state) {
  run_routine(state, &reading::READING::HELICES, "helices.pdb", many_helices());
}
BENCHMARK(BM_HELICES_many_helices)->Unit(benchmark::kMillisecond);

// The entry's alpha helices, read from its HELIX records: chain in column
// 20, start in columns 22-25, end in columns 34-37, class in columns 39-40.
std::vector<reading::Helix> alpha_helices(std::string_view text) {
  std::vector<reading::Helix> helices;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (line.substr(0, 6) == "HELIX " && line.size() >= 40 &&
        (line.substr(38, 2) == " 1" || line.substr(38, 2) == " 6")) {
      helices.push_back({line[19], *records::read_I(line.substr(21, 4)), *records::read_I(line.substr(33, 4))});
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return helices;
}

// Helix mode's pass that gathers every helix's atoms, on its own and
// without the report, from an entry already in memory.
void BM_collect_helix_atoms(benchmark::State& state, const bench_inputs::BigEntry& (*entry_of)()) {
  const bench_inputs::BigEntry& entry = entry_of();
  const std::vector<reading::Helix> helices = alpha_helices(entry.text);
  const reading::AtomType atom_type(" CA ");
  testing_support::FilesInMemory files;
  files.add("PDB/entry.pdb", entry.text);
  records::Input input(1, files);
  input.open_old("PDB/entry.pdb");
  records::Output console = records::Output::in_memory();
  std::size_t atoms = 0;
  for (auto _ : state) {
    reading::AtomList list;
    reading::LegacyEntry legacy(input, atom_type);
    reading::collect_helix_atoms(legacy, helices, {console, false, atom_type}, list);
    atoms = list.size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["helices"] = static_cast<double>(helices.size());
  state.counters["atoms"] = static_cast<double>(atoms);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(entry.text.size()));
}
BENCHMARK_CAPTURE(BM_collect_helix_atoms, big, big)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_collect_helix_atoms, many_helices, many_helices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
