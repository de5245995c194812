// Input connections on hostile input: contents past the size limit, gzip
// bombs and corrupt streams, files that change while they are read, and
// control events that come while a long step runs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <new>
#include <optional>

#include "calls_restored.hpp"
#include "compressed_data.hpp"
#include "event_in_child.hpp"
#include "memory.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"
#include "records/system_calls.hpp"
#include "support.hpp"
#include "test_doubles.hpp"

namespace {

namespace fs = std::filesystem;
using records::Content;
using records::Failure;
using records::Input;
using records::IoError;
using testing_support::expect_event_acted_on;
using testing_support::gzip;
using testing_support::TempDir;

constexpr std::size_t MiB = std::size_t{1} << 20;

// Text of exactly `size` bytes in records of up to 100, the last one ending
// with a line feed.
std::string text_of_size(std::size_t size) {
  std::string text;
  while (text.size() < size) {
    const std::size_t length = std::min<std::size_t>(100, size - text.size());
    text.append(length - 1, 'x').push_back('\n');
  }
  return text;
}

// How opening and reading the whole file and closing it ends: nullopt when
// it all went well.
std::optional<Failure> failure_reading(Input& input, const std::function<void()>& open) {
  try {
    open();
    while (input.read()) {
    }
    input.close();
  } catch (const IoError& error) {
    return error.failure();
  }
  return std::nullopt;
}

enum class Stored { read_from_disk, mapped_from_disk, in_memory, gzip, gzip_two_members };

// Stores `text` at `path` as `stored` says: on disk, or in `memory`, plain or
// compressed (in two members, the first of `first_member` bytes). The input
// that reads it.
Input stored_input(Stored stored, const std::string& text, const std::string& path,
                   testing_support::FilesInMemory& memory, std::size_t first_member) {
  if (stored == Stored::read_from_disk || stored == Stored::mapped_from_disk) {
    testing_support::write_file(path, text);
    return Input(1, records::file_system());
  }
  if (stored == Stored::in_memory) memory.add(path, text);
  if (stored == Stored::gzip) memory.add(path, gzip(text));
  if (stored == Stored::gzip_two_members) {
    memory.add(path, gzip(text.substr(0, first_member)) + gzip(text.substr(first_member)));
  }
  return Input(1, memory);
}

TEST(SizeLimit, ContentUpToTheLimitIsReadAndOneByteMoreIsRefused) {
  struct Case {
    Stored stored;
    std::size_t limit;
  };
  const Case cases[] = {{Stored::read_from_disk, 100'000},
                        {Stored::mapped_from_disk, 3 * MiB},
                        {Stored::in_memory, 5'000},
                        {Stored::gzip, 300'000},
                        {Stored::gzip_two_members, 300'000}};
  for (const Case& c : cases) {
    for (const std::size_t size : {c.limit, c.limit + 1}) {
      const std::string text = text_of_size(size);
      TempDir dir;
      testing_support::FilesInMemory memory;
      const std::string path = (dir / "entry.pdb").string();
      Input input = stored_input(c.stored, text, path, memory, size / 3);
      input.limit_size(c.limit);
      input.map_from(testing_support::mapped_without_huge_pages);
      const auto failure = failure_reading(input, [&] { input.open_old(path, Content::unpacked); });
      const auto what = "case " + std::to_string(static_cast<int>(c.stored)) + ", size " + std::to_string(size);
      EXPECT_EQ(failure, size > c.limit ? std::optional(Failure::too_large) : std::nullopt) << what;
    }
  }
}

TEST(SizeLimit, TheLargestLimitsLeaveOnlyMemoryAsTheLimit) {
  // 2^63 and 2^64 - 1 bytes: no content reaches them. The largest once
  // wrapped around when one byte past it was counted, and refused all
  // compressed content.
  const std::string text = text_of_size(100'000);
  for (const std::size_t limit : {std::size_t{1} << 63, std::numeric_limits<std::size_t>::max()}) {
    for (const Stored stored : {Stored::read_from_disk, Stored::in_memory, Stored::gzip, Stored::gzip_two_members}) {
      TempDir dir;
      testing_support::FilesInMemory memory;
      const std::string path = (dir / "entry.pdb").string();
      Input input = stored_input(stored, text, path, memory, 777);
      input.limit_size(limit);
      const auto what = "limit " + std::to_string(limit) + ", case " + std::to_string(static_cast<int>(stored));
      input.open_old(path, Content::unpacked);
      EXPECT_EQ(input.whole(), text) << what;
      EXPECT_NO_THROW(input.close()) << what;
    }
  }
}

TEST(SizeLimit, MemoryForMoreThanAnObjectMayHoldIsRefused) {
  // Rounded up to pages, a size near the largest wrapped around to a small
  // one, handed out as if it were the size asked for.
  for (const std::size_t size : {std::numeric_limits<std::size_t>::max(),
                                 std::numeric_limits<std::size_t>::max() - 4000, std::size_t{1} << 63}) {
    for (const std::size_t keep : {std::size_t{0}, std::size_t{100}}) {
      records::PageBuffer buffer;
      buffer.reserve(4096);
      EXPECT_THROW(buffer.reserve(size, keep), std::bad_alloc) << size << ", keeping " << keep;
    }
  }
}

TEST(SizeLimit, AGzipBombEndsAtTheLimitInOneMemberOrAcrossMany) {
  struct Case {
    std::size_t members;
    std::size_t member_size;
  };
  // The limit holds for the whole text, not each member.
  for (const Case c : {Case{1, 32 * MiB}, Case{64, MiB / 2}}) {
    testing_support::FilesInMemory memory;
    memory.add("bomb.pdb", testing_support::gzip_zeros(c.members, c.member_size));
    Input input(1, memory);
    input.limit_size(4 * MiB);
    EXPECT_EQ(failure_reading(input, [&] { input.open_old("bomb.pdb", Content::unpacked); }), Failure::too_large)
        << c.members << " members";
  }
}

// CRC-32 of gzip (reflected, 0xEDB88320), for hand-made headers.
std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xffffffffU;
  for (const char byte : bytes) {
    crc ^= static_cast<unsigned char>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
  }
  return ~crc;
}

// `member` with every optional header field: extra data, a name, a comment
// and the header's own CRC (its low 16 bits), `right` or not.
std::string with_every_header_field(const std::string& member, bool right) {
  std::string header = member.substr(0, 10);
  header[3] = 0x1e;  // FHCRC | FEXTRA | FNAME | FCOMMENT
  header += std::string(
                "\x04\x00"
                "ab12",
                6) +
            "name.pdb" + '\0' + "a comment" + '\0';
  const std::uint32_t crc = crc32(header) ^ (right ? 0U : 1U);
  header.push_back(static_cast<char>(crc & 0xffU));
  header.push_back(static_cast<char>((crc >> 8) & 0xffU));
  return header + member.substr(10);
}

TEST(Unpacking, WholeMembersGiveTheirTextAndAnythingElseIsCorrupt) {
  const std::string text = "HEADER\nTITLE\n";
  const std::string member = gzip(text);
  const auto changed = [&](std::size_t at, char value) {
    std::string bytes = member;
    bytes[at] = value;
    return bytes;
  };
  const auto flipped = [&](std::size_t from_end) {
    std::string bytes = member;
    bytes[bytes.size() - from_end] ^= 1;
    return bytes;
  };
  struct Case {
    std::string_view what;
    std::string bytes;
    std::optional<std::string> text;  // nullopt: corrupt
  };
  const Case cases[] = {
      {"one member", member, text},
      {"two members", member + member, text + text},
      {"every header field", with_every_header_field(member, true), text},
      {"a wrong header CRC", with_every_header_field(member, false), std::nullopt},
      {"a reserved flag bit", changed(3, '\x20'), std::nullopt},
      {"another method", changed(2, 7), std::nullopt},
      {"a wrong CRC", flipped(8), std::nullopt},
      {"a wrong size", flipped(1), std::nullopt},
      {"cut by a byte", member.substr(0, member.size() - 1), std::nullopt},
      {"the header alone", member.substr(0, 10), std::nullopt},
      {"trailing garbage", member + "x", std::nullopt},
      {"trailing zeros", member + std::string(2, '\0'), std::nullopt},
      {"a second member cut short", member + member.substr(0, 12), std::nullopt},
  };
  for (const Case& c : cases) {
    testing_support::FilesInMemory memory;
    memory.add("entry.pdb", c.bytes);
    Input input(1, memory);
    std::string read;
    try {
      input.open_old("entry.pdb", Content::unpacked);
      while (const auto record = input.read()) read.append(*record).push_back('\n');
      EXPECT_EQ(std::optional(read), c.text) << c.what;
    } catch (const IoError& error) {
      EXPECT_FALSE(c.text) << c.what;
      EXPECT_EQ(error.failure(), Failure::corrupt_compressed_data) << c.what;
    }
  }
}

TEST(Unpacking, AMemberThatEndsWhereTheMemoryDoesLeavesTheNextOneWhole) {
  // The first memory for the text is 64 KiB: a first member about that long
  // stops a step with the memory full, maybe after its last bits were read
  // ahead; the next step must go on from the bytes read ahead, not past them.
  for (std::size_t shorter = 0; shorter < 48; ++shorter) {
    const std::string first = text_of_size((std::size_t{64} << 10) - shorter);
    const std::string second = "HELIX  1\n";
    testing_support::FilesInMemory memory;
    memory.add("entry.pdb", gzip(first) + gzip(second));
    Input input(1, memory);
    input.open_old("entry.pdb", Content::unpacked);
    std::size_t length = 0;
    std::string last;
    while (const auto record = input.read()) {
      length += record->size() + 1;
      last = *record;
    }
    EXPECT_EQ(length, first.size() + second.size()) << shorter;
    EXPECT_EQ(last, "HELIX  1") << shorter;
  }
}

// Files that note a control event while one is loaded, as a key pressed
// just then would.
class FilesThatRaise final : public records::FileSource {
 public:
  explicit FilesThatRaise(records::FileSource& files) : files_(files) {}
  records::LoadedFile load(const std::string& path, records::FileMemory& memory) override {
    std::raise(SIGINT);
    return files_.load(path, memory);
  }

 private:
  records::FileSource& files_;
};

TEST(ControlEventsDeathTest, ActedOnWithinOneStepOfUnpacking) {
  // 256 MiB of text within a 1 GiB limit: whole, it would unpack.
  testing_support::FilesInMemory memory;
  memory.add("bomb.pdb", testing_support::gzip_zeros(64, 4 * MiB));
  FilesThatRaise raising(memory);
  expect_event_acted_on([&] {
    Input input(1, raising);
    input.limit_size(1024 * MiB);
    input.open_old("bomb.pdb", Content::unpacked);
  });
}

TEST(ControlEventsDeathTest, ActedOnWithinOneWindowOfAScan) {
  // One record of 64 MiB, and the key searched for behind it.
  testing_support::FilesInMemory memory;
  memory.add("long.pdb", "HEADER\n" + std::string(64 * MiB, '\0') + "\nHELIX  1\n");
  for (const bool skipping : {false, true}) {
    expect_event_acted_on([&] {
      Input input(1, memory);
      input.open_old("long.pdb");
      (void)input.read();
      std::raise(SIGINT);
      if (skipping) {
        input.skip_to("HELIX ");
      } else {
        (void)input.read();
      }
    });
  }
}

TEST(ControlEventsDeathTest, ActedOnWhileALargeFileIsMapped) {
  // A sparse file: its pages are brought in from nothing, a piece at a time.
  TempDir dir;
  testing_support::write_file(dir / "sparse.pdb", "");
  fs::resize_file(dir / "sparse.pdb", 256 * MiB);
  FilesThatRaise raising(records::file_system());
  expect_event_acted_on([&] {
    Input input(1, raising);
    input.open_old((dir / "sparse.pdb").string());
  });
}

// The records of a large file, so that it is mapped.
std::string numbered_records(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) text += "RECORD " + std::to_string(i) + "\n";
  return text;
}

TEST(Changes, AFileChangedWhileReadFailsAsChangedWhateverElseItLeadsTo) {
  // Each change comes after the first records were read: between the header
  // scan and the atom pass of an entry.
  struct Case {
    std::string_view what;
    std::size_t size;  // 3 MiB are mapped, less is read in pieces
    std::function<void(const fs::path&)> change;
    bool changed;
  };
  const auto cut_to = [](std::size_t size) { return [size](const fs::path& path) { fs::resize_file(path, size); }; };
  const auto stamped_later = [](const fs::path& path) {
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).write("X", 1);
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
  };
  const Case cases[] = {
      {"mapped, cut to nothing", 3 * MiB, cut_to(0), true},
      // A page boundary in the middle of a record: its end reads as zeros.
      {"mapped, cut inside a record", 3 * MiB, cut_to(2 * MiB + 4096), true},
      {"mapped, written in place", 3 * MiB, stamped_later, true},
      {"mapped, grown", 3 * MiB, cut_to(4 * MiB), true},
      {"read, cut short", MiB, cut_to(200'000), true},
      {"read, written in place", MiB, stamped_later, true},
      {"mapped, left alone", 3 * MiB, [](const fs::path&) {}, false},
      {"read, left alone", MiB, [](const fs::path&) {}, false},
      // What was opened is read whole: the name now holds another file.
      {"mapped, replaced under its name", 3 * MiB,
       [](const fs::path& path) {
         testing_support::write_file(path.string() + ".new", "another file\n");
         fs::rename(path.string() + ".new", path);
       },
       false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path path = dir / "entry.pdb";
    const std::string text = numbered_records(c.size);
    testing_support::write_file(path, text);
    Input input(1);
    input.map_from(testing_support::mapped_without_huge_pages);
    const auto failure = failure_reading(input, [&] {
      input.open_old(path.string());
      for (int i = 0; i < 3; ++i) (void)input.read_or_fail();
      c.change(path);
      input.rewind();
      // Reading on to the old end of the file fails anyway when it was cut:
      // the failure is told as the change that caused it.
      for (std::size_t read = 0; read < text.size();) read += input.read_or_fail().size() + 1;
    });
    EXPECT_EQ(failure, c.changed ? std::optional(Failure::file_changed) : std::nullopt) << c.what;
  }
}

// A file read in pieces, cut after its first piece was read: a read of the
// pieces that sees the new end.
fs::path cut_file;
int reads_seen = 0;
ssize_t read_then_cut(int fd, void* buffer, std::size_t count) {
  if (++reads_seen == 2) fs::resize_file(cut_file, 100'000);
  return records::real_system_calls().read(fd, buffer, count);
}

TEST(Changes, AFileCutBetweenItsPiecesEndsAsChanged) {
  TempDir dir;
  cut_file = dir / "entry.pdb";
  testing_support::write_file(cut_file, numbered_records(MiB));
  const testing_support::CallsRestored restored;
  records::system_calls.read = read_then_cut;
  reads_seen = 0;
  Input input(1);
  EXPECT_EQ(failure_reading(input, [&] { input.open_old(cut_file.string()); }), Failure::file_changed);
  EXPECT_GE(reads_seen, 2);
}

TEST(Names, ANameWithANulByteIsNeverTakenUpToIt) {
  TempDir dir;
  testing_support::write_file(dir / "1a8o", "HEADER\n");
  Input input(1);
  const std::string path = (dir / "1a8o").string() + std::string(1, '\0') + ".pdb";
  try {
    input.open_old(path);
    FAIL() << "opened " << (dir / "1a8o");
  } catch (const IoError& error) {
    EXPECT_EQ(error.failure(), Failure::open_failure);
    EXPECT_EQ(error.file(), path);
  }
}

}  // namespace
