#include "fuzz_support.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fuzzing {

namespace fs = std::filesystem;

void invariant_broken(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::fflush(stderr);
  __builtin_trap();
}

std::uint8_t Bytes::byte() {
  if (text_.empty()) return 0;
  const auto value = static_cast<std::uint8_t>(text_.front());
  text_.remove_prefix(1);
  return value;
}

int Bytes::in_range(int low, int high) {
  const int span = high - low + 1;
  return low + static_cast<int>(byte()) % span;
}

std::uint32_t Bytes::u32() {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
  return value;
}

std::string_view Bytes::text(std::size_t max_length) {
  std::size_t length = byte();
  if (length > max_length) length %= max_length + 1;
  if (length > text_.size()) length = text_.size();
  const std::string_view taken = text_.substr(0, length);
  text_.remove_prefix(length);
  return taken;
}

std::string_view Bytes::rest() {
  const std::string_view taken = text_;
  text_ = {};
  return taken;
}

std::vector<std::string_view> split(std::string_view data, std::string_view separator, std::size_t max_parts) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < max_parts) {
    const std::size_t at = data.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(data.substr(0, at));
    data.remove_prefix(at + separator.size());
  }
  parts.push_back(data);
  return parts;
}

bool whole_records(std::string_view text) {
  if (text.empty()) return true;
  if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") return false;
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    if (at == 0 || text[at - 1] != '\r') return false;
  }
  return true;
}

std::vector<std::string_view> records_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) {
      lines.push_back(text);
      break;
    }
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
  return lines;
}

namespace {

// The scratch tree of this process. Entry and export names typed or listed
// may climb out of the working directory with "../"; within the 12
// characters of a name that reaches at most three levels up, so the working
// directory sits three levels below the root and nothing outside the tree is
// ever read or written.
class ScratchTree {
 public:
  ScratchTree() {
    fs::path base;
    if (const char* chosen = std::getenv("EXTRACT_FUZZ_SCRATCH"); chosen != nullptr && *chosen != '\0') {
      base = chosen;
    } else if (access("/dev/shm", W_OK) == 0) {
      base = "/dev/shm";  // memory-backed: the targets write a file on every run
    } else {
      base = fs::temp_directory_path();
    }
    std::string pattern = (base / "extract-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("extract fuzz: cannot create the scratch directory");
      std::abort();
    }
    root_ = pattern;
    const fs::path work = root_ / "a" / "b" / "work";
    fs::create_directories(work / "source");
    fs::current_path(work);
  }

  ~ScratchTree() {
    std::error_code ignored;
    fs::current_path(root_.parent_path(), ignored);
    fs::remove_all(root_, ignored);
  }

  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

 private:
  fs::path root_;
};

}  // namespace

void enter_scratch_directory() {
  static const ScratchTree tree;
}

void remove_file(const char* path) {
  if (::unlink(path) != 0 && errno != ENOENT) {
    std::perror(path);
    std::abort();
  }
}

void empty_directory(const char* directory) {
  std::error_code error;
  for (const auto& item : fs::directory_iterator(directory, error)) fs::remove_all(item.path(), error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", directory, error.message().c_str());
    std::abort();
  }
}

int lowest_free_descriptor() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return fd;
}

int ignore_command(const std::string&) {
  return 0;
}

}  // namespace fuzzing
