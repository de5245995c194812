// What CIF text is made of, byte by byte, and the text a value token stands
// for: the rules every reader of CIF text here shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cif {

// The blanks that separate tokens.
constexpr bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
// What an unquoted word is made of: the printable characters but the blank.
constexpr bool is_word_character(char c) {
  return c > ' ' && c < '\x7f';
}

// Tags and reserved words are compared without regard to case.
constexpr char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Names as keys of a hash table, without regard to case.
struct NameHash {
  std::size_t operator()(std::string_view name) const {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(lower(c))) * 0x100000001b3ULL;
    return static_cast<std::size_t>(hash);
  }
};
struct SameName {
  bool operator()(std::string_view a, std::string_view b) const { return same_name(a, b); }
};

// The text a value token stands for: without its quotes, or a text field
// without its semicolons and the line end before the last one. Inline: the
// atom records take the text of several values of every row.
constexpr std::string_view value_of(std::string_view token) {
  if (token.empty()) return token;
  if (token.front() == '\'' || token.front() == '"') return token.substr(1, token.size() - 2);
  // Only a text field holds a line end.
  if (token.front() == ';' && token.size() >= 3 && token.substr(token.size() - 2) == "\n;") {
    std::string_view text = token.substr(1, token.size() - 3);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return text;
  }
  return token;
}

// The unquoted "?" (unknown) and "." (not applicable).
constexpr bool is_null(std::string_view token) {
  return token.size() == 1 && (token[0] == '?' || token[0] == '.');
}

// What a value token says: its text, or nothing for a null.
constexpr std::string_view text_of(std::string_view token) {
  return is_null(token) ? std::string_view() : value_of(token);
}

}  // namespace cif
