// The progress line: its text, and how it shows on a terminal: drawn in
// place, erased before every diagnostic and at the end, and nowhere else.

#include "progress.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "run_tool.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::write_file;

// "<count>/<count> entries, <count> failed, <m:ss or h:mm:ss>, <count>/s",
// then blanks; a count has commas between thousands.
bool is_drawn_line(std::string_view line) {
  const auto take = [&](std::string_view text) {
    if (!line.starts_with(text)) return false;
    line.remove_prefix(text.size());
    return true;
  };
  const auto count = [&] {
    std::size_t digits = 0;
    while (!line.empty() &&
           (std::isdigit(static_cast<unsigned char>(line.front())) != 0 || (line.front() == ',' && digits > 0))) {
      line.remove_prefix(1);
      ++digits;
    }
    return digits > 0;
  };
  const auto clock = [&] {
    // m:ss or h:mm:ss
    const std::string_view time = line.substr(0, line.find(','));
    line.remove_prefix(time.size());
    std::size_t parts = 0;
    for (std::size_t start = 0; start <= time.size(); ++parts) {
      const std::size_t end = std::min(time.find(':', start), time.size());
      const std::string_view part = time.substr(start, end - start);
      if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) return false;
      if (parts > 0 && part.size() != 2) return false;
      start = end + 1;
    }
    return parts == 2 || parts == 3;
  };
  if (!(count() && take("/") && count() && take(" entries, ") && count() && take(" failed, ") && clock() &&
        take(", ") && count() && take("/s"))) {
    return false;
  }
  return line.find_first_not_of(' ') == std::string_view::npos;
}

TEST(ProgressText, CountsTimeAndRate) {
  struct Case {
    std::size_t done;
    std::size_t total;
    std::size_t failed;
    std::chrono::milliseconds elapsed;
    std::string_view text;
  };
  const Case cases[] = {
      {1234, 220'000, 7, 41s, "1,234/220,000 entries, 7 failed, 0:41, 30/s"},
      {0, 0, 0, 0ms, "0/0 entries, 0 failed, 0:00, 0/s"},
      {999, 1000, 0, 999ms, "999/1,000 entries, 0 failed, 0:00, 1,000/s"},
      {5, 10, 0, 61s, "5/10 entries, 0 failed, 1:01, 0/s"},
      {100, 100, 100, 3599s, "100/100 entries, 100 failed, 59:59, 0/s"},
      {220'000, 220'000, 1'234'567, 10809s, "220,000/220,000 entries, 1,234,567 failed, 3:00:09, 20/s"},
      {12, 1'000'000, 0, 36'000'000ms, "12/1,000,000 entries, 0 failed, 10:00:00, 0/s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(driver::progress_text(c.done, c.total, c.failed, c.elapsed), c.text);
    EXPECT_TRUE(is_drawn_line(c.text)) << c.text;
  }
  for (const std::string_view other :
       {"extract: severe (29): file not found, unit 1, file PDB/x.pdb",
        "1/4 entries, 0 failed, 0:00, 3/sextract: 1 of 4 entries failed", "", "1/4 entries, 0 failed, 0:0, 3/s"}) {
    EXPECT_FALSE(is_drawn_line(other)) << other;
  }
}

// A pseudo-terminal in raw mode, so that what the tool writes arrives as
// written; the test keeps its own end of the terminal side open, so that
// nothing written is lost when the tool ends.
class Terminal {
 public:
  Terminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no terminal");
    path_ = ptsname(master_);
    side_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    tcgetattr(side_, &mode);
    cfmakeraw(&mode);
    tcsetattr(side_, TCSANOW, &mode);
    fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~Terminal() {
    ::close(side_);
    ::close(master_);
  }
  const fs::path& path() const { return path_; }
  std::string written() const {
    std::string text;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(master_, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
    return text;
  }

 private:
  int master_ = -1;
  int side_ = -1;
  fs::path path_;
};

TEST(ProgressLine, DrawnOnATerminalAndErasedBeforeEveryDiagnosticAndAtTheEnd) {
  testing_support::TempDir dir;
  fs::create_directories(dir / "source");
  fs::copy(fs::path(EXTRACT_TEST_DATA) / "pdb", dir / "PDB");
  // 2beg has no helix and pauses; the command typed there makes the run
  // last long enough to be drawn; missing.pdb fails under -k.
  write_file(dir / "Files.ini", "2beg.pdb\n1a8o.pdb\nmissing.pdb\n3al1.pdb\n");
  const std::string answers = "2\nCA\n1\nsleep 0.3\n\n\n";

  testing_support::ToolOptions plain{.arguments = {"-k", "-j", "2"}};
  const auto without = testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, plain);
  ASSERT_EQ(without.status, 3) << without.err;
  plain.arguments.push_back("--progress");
  const auto not_a_terminal = testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, plain);
  EXPECT_EQ(not_a_terminal.err, without.err) << "never in a file";
  EXPECT_EQ(not_a_terminal.out, without.out);

  const Terminal terminal;
  testing_support::ToolOptions on_terminal = plain;
  on_terminal.stderr_path = terminal.path();
  const auto shown = testing_support::run_tool(EXTRACT_BINARY, dir.path(), answers, on_terminal);
  EXPECT_EQ(shown.status, 3);
  EXPECT_EQ(shown.out, without.out) << "the console is not touched";

  // Walk what the terminal got: each drawing after a carriage return, each
  // erasure blanks between two of them, and the diagnostics.
  const std::string written = terminal.written();
  std::string rest;
  bool line_shown = false;
  int drawings = 0;
  for (std::size_t at = 0; at < written.size();) {
    if (written[at] != '\r') {
      const std::size_t end = written.find("\r\n", at);
      ASSERT_NE(end, std::string::npos) << written.substr(at);
      EXPECT_FALSE(line_shown) << "a diagnostic over the line: " << written.substr(at, end - at);
      rest += written.substr(at, end + 2 - at);
      at = end + 2;
      continue;
    }
    const std::size_t next = std::min(written.find('\r', at + 1), written.size());
    const std::string piece = written.substr(at + 1, next - at - 1);
    if (piece.find_first_not_of(' ') == std::string::npos) {
      EXPECT_TRUE(line_shown) << "an erasure of nothing";
      ASSERT_LT(next, written.size()) << "an erasure ends back at the start of the line";
      line_shown = false;
      at = next + 1;
    } else {
      EXPECT_TRUE(is_drawn_line(piece)) << piece;
      line_shown = true;
      ++drawings;
      at = next;
    }
  }
  EXPECT_FALSE(line_shown) << "the line is erased at the end";
  EXPECT_GE(drawings, 1);
  EXPECT_EQ(rest, without.err);
}

}  // namespace
