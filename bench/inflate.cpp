// inflate: the library alone. Decompresses each gzip file it is given whole,
// every member, the way floor and extract get a compressed entry into memory,
// and does nothing else: no records, no exports. Its time is what any reader
// of these files has to spend.
//
//   inflate FILE...
//
// Prints the number of bytes the files decompress to.

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "entry_bytes.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  try {
    entry_bytes::Loader loader;
    unsigned long long total = 0;
    for (int i = 1; i < argc; ++i) {
      const std::string path = argv[i];
      const std::string_view gz = loader.read(path);
      if (!entry_bytes::is_gzip(gz)) throw entry_bytes::Failure(path + " is not gzip-compressed");
      total += loader.inflate(gz).size();
    }
    std::printf("%llu bytes from %d files\n", total, argc - 1);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "inflate: %s\n", e.what());
    return 1;
  }
}
