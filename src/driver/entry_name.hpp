// An entry's name, made once from the list or the answer: the one form that
// the console, the export message and goodfiles.txt show, and that a
// directory is joined to for the entry's path beneath PDB/ and its export's
// beneath source/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/chars.hpp"

namespace driver {

// A file name of the list: 12 characters, blank-padded.
using FileName = records::Chars<12>;

class EntryName {
 public:
  // The columns a name is shown in, and the most a name of the list has
  // without --long-names.
  static constexpr std::size_t columns = FileName::size();

  EntryName() = default;
  // A name of 12 columns, blank-padded: what a list record or an answer
  // gives without --long-names.
  explicit EntryName(const FileName& name) : text_(name.view()) {}
  // A whole name (--long-names), without its trailing blanks.
  static EntryName whole(std::string_view name);

  // As shown: 12 columns, a shorter name blank-padded, a longer one whole.
  std::string_view shown() const { return text_; }
  // As a path beneath a directory: without trailing blanks, which are not
  // part of a file name.
  std::string_view path() const;

  // Gives the name the extension `letters` (three letters) after the first
  // dot: of the name, or with --long-names of its last part, so that a
  // directory's dot is left alone. A name without a dot gets one after its
  // last character. A name of at most 12 characters keeps them, writing
  // only what falls within; a longer one takes the letters whole.
  void rewrite_extension(std::string_view letters);

  bool operator==(const EntryName&) const = default;

 private:
  std::string text_ = std::string(columns, ' ');
  bool whole_ = false;
};

// The names of the run, as few bytes each as the list takes: a list of
// empty lines may hold a hundred million names.
class EntryList {
 public:
  explicit EntryList(bool whole_names) : whole_(whole_names) {}

  void reserve(std::size_t count);
  // A record of Files.ini, or an answer: its first 12 columns, or with
  // whole names all of it but its trailing blanks.
  void add(std::string_view record);
  std::size_t size() const { return whole_ ? ends_.size() : fixed_.size(); }
  EntryName operator[](std::size_t i) const;

 private:
  bool whole_;
  std::vector<FileName> fixed_;
  // Whole names one after another; each ends where `ends_` says. Files.ini
  // is held to 2 GiB, so 32 bits tell any end.
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

}  // namespace driver
