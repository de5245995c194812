// gemmi_read FILE: reads FILE into memory, parses it with gemmi's
// cif::read_memory and prints the seconds the parse took, then the blocks
// and the items of the first one (so that nothing is optimised away).

#include <chrono>
#include <cstdio>
#include <fstream>
#include <gemmi/cif.hpp>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    std::fprintf(stderr, "gemmi_read: cannot read %s\n", argv[1]);
    return 1;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    const gemmi::cif::Document document = gemmi::cif::read_memory(text.data(), text.size(), argv[1]);
    const std::chrono::duration<double> parse = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %zu %zu\n", parse.count(), document.blocks.size(),
                document.blocks.empty() ? std::size_t{0} : document.blocks.front().items.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gemmi_read: %s\n", e.what());
    return 1;
  }
  return 0;
}
