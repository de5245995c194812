// Fuzzes READING on arbitrary entries: BACKBONES and HELICES, each with the
// report on and off, for one of a few atom types, stored plain or
// compressed, and holds what they hand back to the plain one-scan-per-helix
// reading of the same entry.
//
// Input: one byte, then the entry file's bytes. The byte's low two bits
// choose the atom type; the next three how the entry is stored: 0 plain,
// 1 gzip, 2 gzip in two members, 3 gzip as PDB/test.pdb.gz beside no
// PDB/test.pdb, 4 the bytes as they are under that name (so mutated
// compressed data reaches the unpacking); 5 to 7 plain. Its top three bits
// choose the size limit: 0 the default, 1 to 7 from 256 bytes up to 1 MiB,
// so that entries and gzip streams that expand past the limit are common.

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "compressed_data.hpp"
#include "fuzz_support.hpp"
#include "reading/reading.hpp"
#include "reading_runs.hpp"
#include "reference_reading.hpp"

namespace {

constexpr std::string_view entry_file = "PDB/test.pdb";
constexpr std::string_view compressed_file = "PDB/test.pdb.gz";
constexpr std::array<std::string_view, 4> atom_types = {" CA ", " N  ", "CA  ", "    "};
using fuzzing::ReadingOutcome;
using fuzzing::Routine;
using testing_support::gzip;

enum class Storage { plain, compressed, two_members, fallback, raw_fallback };

std::size_t limit_of(std::uint8_t choice) {
  const unsigned k = choice >> 5U;
  return k == 0 ? records::default_size_limit : std::size_t{64} << (2 * k);
}

Storage storage_of(std::uint8_t choice) {
  switch ((choice >> 2U) & 7U) {
    case 1:
      return Storage::compressed;
    case 2:
      return Storage::two_members;
    case 3:
      return Storage::fallback;
    case 4:
      return Storage::raw_fallback;
    default:
      return Storage::plain;
  }
}

// A member's header names no header CRC, or the right one (libdeflate skips
// it unread; the tool holds a member to it).
bool header_crc_right(std::string_view member) {
  if (member.size() < 10 || (static_cast<unsigned char>(member[3]) & 0x02U) == 0) return true;
  const auto flags = static_cast<unsigned char>(member[3]);
  std::size_t at = 10;
  if ((flags & 0x04U) != 0) {
    if (member.size() < at + 2) return true;
    at += 2 + (static_cast<unsigned char>(member[at]) |
               static_cast<std::size_t>(static_cast<unsigned char>(member[at + 1])) << 8U);
  }
  for (const unsigned zero_ended : {0x08U, 0x10U}) {
    if ((flags & zero_ended) == 0) continue;
    const std::size_t end = member.find('\0', at);
    if (end == std::string_view::npos) return true;
    at = end + 1;
  }
  if (member.size() < at + 2) return true;
  const std::uint32_t crc = libdeflate_crc32(0, member.data(), at);
  return (crc & 0xffffU) == (static_cast<unsigned char>(member[at]) |
                             static_cast<std::uint32_t>(static_cast<unsigned char>(member[at + 1])) << 8U);
}

// The text of gzip data, every member in turn, unpacked here without the
// tool's own code; nullopt when the data is corrupt or followed by anything
// else.
std::optional<std::string> gunzip(std::string_view packed) {
  struct Free {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  static const std::unique_ptr<libdeflate_decompressor, Free> decompressor(libdeflate_alloc_decompressor());
  std::string text;
  while (!packed.empty()) {
    if (!header_crc_right(packed)) return std::nullopt;
    std::string member(std::max<std::size_t>(packed.size() * 4, 4096), '\0');
    for (;;) {
      std::size_t taken = 0;
      std::size_t made = 0;
      const libdeflate_result result = libdeflate_gzip_decompress_ex(decompressor.get(), packed.data(), packed.size(),
                                                                     member.data(), member.size(), &taken, &made);
      if (result == LIBDEFLATE_INSUFFICIENT_SPACE && member.size() < (std::size_t{1} << 30)) {
        member.resize(member.size() * 2);
        continue;
      }
      if (result != LIBDEFLATE_SUCCESS) return std::nullopt;
      text.append(member, 0, made);
      packed.remove_prefix(taken);
      break;
    }
  }
  return text;
}

bool looks_compressed(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// What the routine hands back is what the plain reading finds in `text`,
// or the compressed data did not unpack, or the text (or the file read) is
// larger than the limit. Corrupt data may be found larger than the limit
// before its fault is reached.
void check_against_reference(const ReadingOutcome& outcome, Routine routine, std::optional<std::string_view> text,
                             std::size_t stored_size, const reading::AtomType& atom_type, std::size_t limit) {
  if (stored_size > limit || (text && text->size() > limit)) {
    FUZZ_CHECK(outcome.failure_kind == records::Failure::too_large);
    return;
  }
  if (!text) {
    FUZZ_CHECK(outcome.failure_kind == records::Failure::corrupt_compressed_data ||
               (outcome.failure_kind == records::Failure::too_large && limit < records::default_size_limit));
    return;
  }
  if (fuzzing::is_mmcif(*text)) return;
  FUZZ_CHECK(outcome.failure_kind != records::Failure::chain_name_too_long &&
             outcome.failure_kind != records::Failure::malformed_mmcif);
  const testing_support::ReadingResult expected =
      testing_support::reference_reading(routine, *text, atom_type, fuzzing::unset_resolution);
  FUZZ_CHECK(outcome.failure_kind == expected.failure);
  FUZZ_CHECK(fuzzing::same_floats(outcome.resolution, expected.resolution));
  FUZZ_CHECK(fuzzing::same_atoms(outcome.atoms, expected.atoms));
}

// The summary record "   nnn helices found." (a title line shown on the
// console is 63 characters long, so it never passes for one).
bool shows_helices_found(std::string_view console) {
  constexpr std::string_view tail = " helices found.";
  for (const std::string_view line : fuzzing::records_of(console)) {
    if (line.size() == 6 + tail.size() && line.substr(0, 3) == "   " && line.substr(6) == tail) return true;
  }
  return false;
}

// The entry stored as `storage` says.
struct Stored {
  std::string_view name;  // what it is read from
  std::size_t size;       // of the file as stored
};

Stored store(testing_support::FilesInMemory& files, Storage storage, std::string_view entry) {
  std::string stored;
  std::string_view name = entry_file;
  switch (storage) {
    case Storage::plain:
      stored = entry;
      break;
    case Storage::compressed:
      stored = gzip(entry);
      break;
    case Storage::two_members:
      stored = gzip(entry.substr(0, entry.size() / 2)) + gzip(entry.substr(entry.size() / 2));
      break;
    case Storage::fallback:
      stored = gzip(entry);
      name = compressed_file;
      break;
    case Storage::raw_fallback:
      stored = entry;
      name = compressed_file;
      break;
  }
  const std::size_t size = stored.size();
  files.add(std::string(name), std::move(stored));
  return {name, size};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Bytes in(data, size);
  const std::uint8_t choice = in.byte();
  const reading::AtomType atom_type(atom_types[choice % atom_types.size()]);
  const std::size_t limit = limit_of(choice);
  const std::string_view bytes = in.rest();

  testing_support::FilesInMemory files;
  const Storage storage = storage_of(choice);
  const Stored stored = store(files, storage, bytes);
  // The text the routines should see: bytes stored as they are that look
  // compressed are unpacked, once, and may turn out corrupt.
  std::optional<std::string> unpacked;
  std::optional<std::string_view> text = bytes;
  const bool stored_as_given = storage == Storage::plain || storage == Storage::raw_fallback;
  if (stored_as_given && looks_compressed(bytes)) {
    unpacked = gunzip(bytes);
    text = unpacked ? std::optional<std::string_view>(*unpacked) : std::nullopt;
  }

  const auto run = [&](Routine routine, bool verbose) {
    return fuzzing::run_reading(files, entry_file, stored.name, routine, verbose, atom_type, limit);
  };
  const ReadingOutcome backbones = run(Routine::backbones, true);
  fuzzing::check_same_result(backbones, run(Routine::backbones, false));
  if (!backbones.failure) FUZZ_CHECK(backbones.atoms.has_value());
  check_against_reference(backbones, Routine::backbones, text, stored.size, atom_type, limit);

  const ReadingOutcome helices = run(Routine::helices, true);
  fuzzing::check_same_result(helices, run(Routine::helices, false));
  const bool found = shows_helices_found(helices.console);
  if (helices.atoms) FUZZ_CHECK(found);
  if (!helices.failure) FUZZ_CHECK(helices.atoms.has_value() == found);
  check_against_reference(helices, Routine::helices, text, stored.size, atom_type, limit);
  return 0;
}
