// CIF text as a plain document, read by gemmi's parser (C++17: see
// cif_documents.hpp).

#include <gemmi/cif.hpp>

#include "cif_documents.hpp"

namespace testing_support {
namespace {

void convert(const std::vector<gemmi::cif::Item>& from, std::vector<CifItem>& to) {
  for (const gemmi::cif::Item& item : from) {
    CifItem& made = to.emplace_back();
    switch (item.type) {
      case gemmi::cif::ItemType::Pair:
        made.kind = CifItem::Kind::pair;
        made.tag = item.pair[0];
        made.value = item.pair[1];
        break;
      case gemmi::cif::ItemType::Loop:
        made.kind = CifItem::Kind::loop;
        made.tags = item.loop.tags;
        made.values = item.loop.values;
        break;
      case gemmi::cif::ItemType::Frame:
        made.kind = CifItem::Kind::frame;
        made.tag = item.frame.name;
        convert(item.frame.items, made.items);
        break;
      default:
        to.pop_back();
        break;
    }
  }
}

}  // namespace

std::optional<CifDocument> read_with_gemmi(std::string_view text, std::string* error) {
  try {
    // Its grammar and its check for tags without values; not its check for
    // duplicate names, which is no matter of syntax.
    gemmi::cif::Document parsed;
    tao::pegtl::memory_input<> in(text.data(), text.size(), "text");
    gemmi::cif::parse_input(parsed, in);
    gemmi::cif::check_for_missing_values(parsed);
    CifDocument document;
    for (const gemmi::cif::Block& block : parsed.blocks) {
      CifBlock& made = document.emplace_back();
      made.name = block.name;
      convert(block.items, made.items);
    }
    return document;
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return std::nullopt;
  }
}

}  // namespace testing_support
