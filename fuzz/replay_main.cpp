// Runs a fuzz target's LLVMFuzzerTestOneInput on every file of the given
// directories (and on given files), so that the normal test build replays the
// corpus and the kept crashers without libFuzzer, under whatever sanitizers
// that build uses.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_support.hpp"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> read_input(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  // Every path is made absolute before the first input runs, because the
  // targets that work on files move into their own working directory.
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path given = fs::absolute(argv[i]);
    if (fs::is_directory(given)) {
      for (const auto& item : fs::recursive_directory_iterator(given)) {
        // Dot files only hold a directory in place; they are not inputs.
        if (item.is_regular_file() && item.path().filename().string().front() != '.') inputs.push_back(item.path());
      }
    } else if (fs::is_regular_file(given)) {
      inputs.push_back(given);
    } else {
      std::fprintf(stderr, "replay: no such input: %s\n", given.c_str());
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());

  for (const fs::path& path : inputs) {
    std::fprintf(stderr, "replay: %s\n", path.c_str());
    std::vector<std::uint8_t> data = read_input(path);
    const std::size_t size = data.size();
    // The entry point may be handed a pointer it can read even when empty.
    if (data.empty()) data.push_back(0);
    LLVMFuzzerTestOneInput(data.data(), size);
  }
  std::fprintf(stderr, "replay: %zu inputs ran\n", inputs.size());
  return 0;
}
