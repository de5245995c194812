// CIF text as a plain document, read by the project's reader, and two
// documents compared.

#include "cif_documents.hpp"

#include <algorithm>

#include "cif/items.hpp"
#include "cif/syntax_error.hpp"
#include "cif/text.hpp"
#include "cif/values.hpp"

namespace testing_support {
namespace {

std::string block_name(std::string_view heading) {
  if (heading.size() == 7 && cif::same_name(heading, "global_")) return "";
  const std::string name(heading.substr(5));
  return name.empty() ? "#" : name;  // as gemmi names a bare data_
}

std::string describe(const CifItem& item) {
  switch (item.kind) {
    case CifItem::Kind::pair:
      return "pair " + item.tag + " = [" + item.value + "]";
    case CifItem::Kind::loop:
      return "loop of " + std::to_string(item.tags.size()) + " tags from " +
             (item.tags.empty() ? std::string("?") : item.tags.front()) + ", " + std::to_string(item.values.size()) +
             " values";
    case CifItem::Kind::frame:
      return "frame " + item.tag;
  }
  return "?";
}

bool same(const CifItem& a, const CifItem& b);

bool same(const std::vector<CifItem>& a, const std::vector<CifItem>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const CifItem& x, const CifItem& y) { return same(x, y); });
}

bool same(const CifItem& a, const CifItem& b) {
  return a.kind == b.kind && a.tag == b.tag && a.value == b.value && a.tags == b.tags && a.values == b.values &&
         same(a.items, b.items);
}

std::string difference(const std::vector<CifItem>& ours, const std::vector<CifItem>& theirs, const std::string& where) {
  for (std::size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
    const CifItem& a = ours[i];
    const CifItem& b = theirs[i];
    if (same(a, b)) continue;
    const std::string at = where + ", item " + std::to_string(i + 1);
    if (a.kind == CifItem::Kind::loop && b.kind == CifItem::Kind::loop && a.tags == b.tags) {
      for (std::size_t v = 0; v < std::min(a.values.size(), b.values.size()); ++v) {
        if (a.values[v] != b.values[v]) {
          return at + " (" + describe(a) + "), value " + std::to_string(v + 1) + ": [" + a.values[v] + "] against [" +
                 b.values[v] + "]";
        }
      }
    }
    if (a.kind == CifItem::Kind::frame && b.kind == CifItem::Kind::frame && a.tag == b.tag) {
      return difference(a.items, b.items, at + " (frame " + a.tag + ")");
    }
    return at + ": " + describe(a) + " against " + describe(b);
  }
  if (ours.size() != theirs.size()) {
    return where + ": " + std::to_string(ours.size()) + " items against " + std::to_string(theirs.size());
  }
  return {};
}

}  // namespace

std::optional<CifDocument> read_with_extract(std::string_view text, std::string* error) {
  using cif::Item;
  try {
    CifDocument document;
    cif::Items items(text);
    while (const auto heading = items.next_block()) {
      CifBlock& block = document.emplace_back();
      block.name = block_name(*heading);
      std::vector<CifItem>* into = &block.items;
      Item item;
      while (items.next_item(item)) {
        switch (item.kind) {
          case Item::Kind::pair:
            into->push_back({CifItem::Kind::pair, std::string(item.tag), std::string(item.value), {}, {}, {}});
            break;
          case Item::Kind::loop: {
            CifItem& loop = into->emplace_back();
            loop.kind = CifItem::Kind::loop;
            for (const std::string_view tag : item.tags) loop.tags.emplace_back(tag);
            // Read as they come, up to where the values end, which must be
            // as many as were counted.
            cif::Values values(text, item.values_at);
            for (std::string_view value = values.next(); !cif::Values::end(value); value = values.next()) {
              loop.values.emplace_back(value);
            }
            if (loop.values.size() != item.value_count) loop.values.emplace_back("(not the number counted)");
            break;
          }
          case Item::Kind::frame_begins: {
            CifItem& frame = into->emplace_back();
            frame.kind = CifItem::Kind::frame;
            frame.tag = item.tag.substr(5);
            into = &frame.items;
            break;
          }
          case Item::Kind::frame_ends:
            into = &block.items;
            break;
        }
      }
    }
    return document;
  } catch (const cif::SyntaxError& e) {
    if (error != nullptr) *error = "line " + std::to_string(cif::line_of(text, e.offset())) + ": " + e.what();
    return std::nullopt;
  }
}

std::string first_difference(const CifDocument& ours, const CifDocument& theirs) {
  for (std::size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
    const std::string where = "block " + std::to_string(i + 1);
    if (ours[i].name != theirs[i].name) return where + ": named " + ours[i].name + " against " + theirs[i].name;
    const std::string found = difference(ours[i].items, theirs[i].items, where + " (" + ours[i].name + ")");
    if (!found.empty()) return found;
  }
  if (ours.size() != theirs.size()) {
    return std::to_string(ours.size()) + " blocks against " + std::to_string(theirs.size());
  }
  return {};
}

}  // namespace testing_support
