#include "failing_archive.hpp"

#include <string>

#include "support.hpp"

namespace testing_support {

void make_failing_archive(const std::filesystem::path& dir, const std::filesystem::path& data) {
  namespace fs = std::filesystem;
  fs::create_directories(dir / "source");
  fs::copy(data / "pdb", dir / "PDB");
  fs::copy(data / "compressed/3al1.pdb.gz", dir / "PDB/z3al1.pdb.gz");
  fs::copy(data / "compressed/1lcd.pdb.gz", dir / "PDB/z1lcd.pdb");
  fs::create_directories(dir / "PDB/folder.pdb");
  std::string unresolved = read_file(data / "pdb/3al1.pdb");
  const std::size_t remark = unresolved.find("REMARK   2 RESOLUTION.");
  unresolved.erase(remark, unresolved.find('\n', remark) + 1 - remark);
  write_file(dir / "PDB/nores.pdb", unresolved);
  const std::string packed = read_file(data / "compressed/3al1.pdb.gz");
  write_file(dir / "PDB/broken.pdb.gz", packed.substr(0, packed.size() / 2));
}

std::string solo_export(const std::filesystem::path& data, std::string_view session, std::string_view file) {
  return read_file(data / "sessions" / session / "expected" / "source" / file);
}

}  // namespace testing_support
