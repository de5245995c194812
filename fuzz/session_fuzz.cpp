// Fuzzes a whole session: the answers typed, one entry file and Files.ini.
//
// Input: the answers, then optionally "@@@\n" and the entry, then optionally
// "@@@\n" and Files.ini, then optionally "@@@\n" and the entry's file name in
// PDB/ (x.pdb when not given). A part that is not there is a file that does
// not exist. The entry and Files.ini are held in memory; the exports and
// goodfiles.txt go to a scratch working directory. Lines typed at a pause are
// never run.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "driver/driver.hpp"
#include "fuzz_support.hpp"

namespace {

constexpr std::string_view separator = "@@@\n";
constexpr std::string_view default_entry_name = "x.pdb";
constexpr const char* list_file = "Files.ini";
constexpr const char* good_files = "goodfiles.txt";

// The entry's path: a name of up to 12 characters inside PDB/, whatever the
// input asks for.
std::string entry_path(const std::vector<std::string_view>& parts) {
  std::string_view asked = parts.size() > 3 ? parts[3] : default_entry_name;
  asked = asked.substr(0, std::min(asked.find('\n'), driver::FileName::size()));
  std::string name(asked);
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = default_entry_name;
  return "PDB/" + name;
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A finished session lists in goodfiles.txt only exports that it wrote.
void check_good_files() {
  FUZZ_CHECK(is_regular_file(good_files));
  records::Input list(9);
  list.open_old(good_files);
  while (const auto record = list.read()) {
    // Free-form records: a blank, the 12 characters of the name, CR.
    FUZZ_CHECK(record->size() == 1 + driver::FileName::size());
    FUZZ_CHECK((*record)[0] == ' ');
    const driver::FileName name(record->substr(1));
    FUZZ_CHECK(is_regular_file("source/" + std::string(name.trimmed())));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::enter_scratch_directory();
  const int descriptors = fuzzing::lowest_free_descriptor();

  const std::string_view text(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  const std::vector<std::string_view> parts = fuzzing::split(text, separator, 4);
  testing_support::FilesInMemory files;
  if (parts.size() > 1) files.add(entry_path(parts), std::string(parts[1]));
  if (parts.size() > 2) files.add(list_file, std::string(parts[2]));

  records::Output console = records::Output::in_memory();
  testing_support::TextLines answers(parts[0]);
  driver::Settings settings;
  settings.files = &files;
  settings.run_command = fuzzing::ignore_command;
  bool finished = false;
  try {
    driver::EXTRACT(console, answers, settings);
    finished = true;
  } catch (const records::IoError& error) {
    FUZZ_CHECK(std::strncmp(error.what(), "extract: severe (", 17) == 0);
  }
  if (finished) {
    FUZZ_CHECK(fuzzing::whole_records(console.text()));
    check_good_files();
  }

  fuzzing::remove_file(good_files);
  fuzzing::empty_directory("source");
  FUZZ_CHECK(fuzzing::lowest_free_descriptor() == descriptors);
  return 0;
}
