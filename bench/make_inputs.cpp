// Writes the benchmark inputs under a data directory:
//   big/PDB/big.pdb, big/Files.ini            the tiled big entry
//   big/PDB/big.cif                           the same entry as PDBx/mmCIF
//   cif100/PDB/big100.cif                     about 100 MB of mmCIF: copies of
//                                             its chains under longer names
//   helices/PDB/helices.pdb, Files.ini        10,000 short helices over 60 chains
//   batch/PDB/b0001.pdb ..., Files.ini        copies of the real entries
//   batch-gz/PDB/b0001.pdb.gz ..., Files.ini  the same batch gzip-compressed,
//                                             listed by the plain names
//   shape.txt                                 what they hold, read by run.sh

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "inputs.hpp"
#include "mmcif_inputs.hpp"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

struct FreeCompressor {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, FreeCompressor>;

std::string gzip(libdeflate_compressor* compressor, std::string_view text) {
  std::string out(libdeflate_gzip_compress_bound(compressor, text.size()), '\0');
  const std::size_t n = libdeflate_gzip_compress(compressor, text.data(), text.size(), out.data(), out.size());
  if (n == 0) throw std::runtime_error("gzip compression failed");
  out.resize(n);
  return out;
}

// Two gzip members, split at the first line end past the middle, the way
// files joined with cat come out; readers must not stop at the first.
std::string gzip_two_members(libdeflate_compressor* compressor, std::string_view text) {
  const std::size_t middle = text.find('\n', text.size() / 2);
  if (middle == std::string_view::npos) throw std::runtime_error("an entry without a line end past its middle");
  return gzip(compressor, text.substr(0, middle + 1)) + gzip(compressor, text.substr(middle + 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s DATA_DIR [REAL_ENTRIES_DIR [BATCH_SIZE]]\n", argv[0]);
    return 2;
  }
  try {
    const fs::path data = argv[1];
    const fs::path real_dir = argc > 2 ? fs::path(argv[2]) : bench_inputs::default_real_entries();
    const int batch_size = argc > 3 ? std::atoi(argv[3]) : 2000;
    if (batch_size < 1 || batch_size > 9999) throw std::runtime_error("batch size must be 1..9999");

    const auto real = bench_inputs::read_real_entries(real_dir);
    const bench_inputs::BigEntry big = bench_inputs::make_big_entry(real);
    write_file(data / "big" / "PDB" / "big.pdb", big.text);
    write_file(data / "big" / "Files.ini", "big.pdb\n");
    const bench_inputs::MmcifEntry big_cif = bench_inputs::mmcif_of_big_entry(big.text);
    write_file(data / "big" / "PDB" / "big.cif", big_cif.text);
    const bench_inputs::MmcifEntry cif100 = bench_inputs::repeated_mmcif_entry(big.text, 100'000'000);
    write_file(data / "cif100" / "PDB" / "big100.cif", cif100.text);
    write_file(data / "cif100" / "Files.ini", "big100.cif\n");

    const bench_inputs::BigEntry helices = bench_inputs::make_many_helices_entry(real);
    write_file(data / "helices" / "PDB" / "helices.pdb", helices.text);
    write_file(data / "helices" / "Files.ini", "helices.pdb\n");

    // Real copies rather than links, so that the batch reads as many distinct
    // files as a real one would. The compressed batch holds the same entries
    // at libdeflate's default level, the first of them as two members.
    const Compressor compressor(libdeflate_alloc_compressor(6));
    if (!compressor) throw std::runtime_error("cannot set up the compressor");
    std::string list;
    std::uintmax_t batch_bytes = 0;
    std::uintmax_t gz_bytes = 0;
    std::size_t largest = 0;
    std::string two_members;
    for (int i = 1; i <= batch_size; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "b%04d.pdb", i);
      const bench_inputs::RealEntry& source = real[static_cast<std::size_t>(i - 1) % real.size()];
      write_file(data / "batch" / "PDB" / name, source.text);
      const std::string gz = i == 1 ? gzip_two_members(compressor.get(), source.text) : gzip(compressor.get(), source.text);
      if (i == 1) two_members = name;
      write_file(data / "batch-gz" / "PDB" / (std::string(name) + ".gz"), gz);
      list += name;
      list += '\n';
      batch_bytes += source.text.size();
      gz_bytes += gz.size();
      largest = std::max(largest, source.text.size());
    }
    write_file(data / "batch" / "Files.ini", list);
    write_file(data / "batch-gz" / "Files.ini", list);

    const bench_inputs::BigShape& s = big.shape;
    std::string shape;
    shape += "big_bytes=" + std::to_string(s.bytes) + "\n";
    shape += "big_atoms=" + std::to_string(s.atoms) + "\n";
    shape += "big_serials=" + std::to_string(s.serials) + "\n";
    shape += "big_chains=" + std::to_string(s.chains) + "\n";
    shape += "big_first_chain=" + std::to_string(s.first_chain) + "\n";
    shape += "big_residues=" + std::to_string(s.residues) + "\n";
    shape += "big_helices=" + std::to_string(s.helices) + "\n";
    shape += "big_alpha_helices=" + std::to_string(s.alpha_helices) + "\n";
    shape += "big_cif_bytes=" + std::to_string(big_cif.shape.bytes) + "\n";
    shape += "cif100_bytes=" + std::to_string(cif100.shape.bytes) + "\n";
    shape += "cif100_atoms=" + std::to_string(cif100.shape.atoms) + "\n";
    shape += "cif100_chains=" + std::to_string(cif100.shape.chains) + "\n";
    shape += "cif100_helices=" + std::to_string(cif100.shape.helices) + "\n";
    shape += "cif100_longest_chain_name=" + cif100.shape.longest_chain_name + "\n";
    shape += "cif100_largest_residue=" + std::to_string(cif100.shape.largest_residue_number) + "\n";
    const bench_inputs::BigShape& h = helices.shape;
    shape += "helices_bytes=" + std::to_string(h.bytes) + "\n";
    shape += "helices_atoms=" + std::to_string(h.atoms) + "\n";
    shape += "helices_chains=" + std::to_string(h.chains) + "\n";
    shape += "helices_residues=" + std::to_string(h.residues) + "\n";
    shape += "helices_alpha_helices=" + std::to_string(h.alpha_helices) + "\n";
    shape += "batch_entries=" + std::to_string(batch_size) + "\n";
    shape += "batch_bytes=" + std::to_string(batch_bytes) + "\n";
    shape += "batch_largest=" + std::to_string(largest) + "\n";
    shape += "batch_gz_bytes=" + std::to_string(gz_bytes) + "\n";
    shape += "batch_gz_two_members=" + two_members + "\n";
    write_file(data / "shape.txt", shape);
    std::fputs(shape.c_str(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_inputs: %s\n", e.what());
    return 1;
  }
}
