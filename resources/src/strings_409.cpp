// English (409) string table, built from string_table.def.
#include <cstddef>
#include <iterator>
#include <unordered_map>

#include "resources/language_module.h"
#include "resources/strings.h"

namespace kestrune::res {
namespace {

struct Entry {
  unsigned number;
  const wchar_t* text;
};

constexpr Entry kEntries[] = {
#define KESTRUNE_STRING(name, number, text) {number, text},
#include "resources/string_table.def"
#undef KESTRUNE_STRING
};

// Ascending numbers: each number names one entry, and BuiltinStringIds needs
// no sort.
constexpr bool Ascending() {
  for (std::size_t i = 1; i < std::size(kEntries); ++i)
    if (kEntries[i - 1].number >= kEntries[i].number) return false;
  return true;
}
static_assert(Ascending(), "string_table.def must list each number once, in ascending order");

const std::unordered_map<unsigned, std::wstring>& Table() {
  static const std::unordered_map<unsigned, std::wstring> table = [] {
    std::unordered_map<unsigned, std::wstring> entries;
    for (const Entry& entry : kEntries) entries.emplace(entry.number, entry.text);
    return entries;
  }();
  return table;
}

}  // namespace

const std::wstring& BuiltinString(unsigned id) {
  static const std::wstring empty;
  const auto& table = Table();
  auto it = table.find(id);
  return it == table.end() ? empty : it->second;
}

std::vector<unsigned> BuiltinStringIds() {
  std::vector<unsigned> ids;
  ids.reserve(std::size(kEntries));
  for (const Entry& entry : kEntries) ids.push_back(entry.number);
  return ids;
}

const std::wstring& LoadString(unsigned id) {
  if (const std::wstring* text = ModuleString(id)) return *text;
  return BuiltinString(id);
}

}  // namespace kestrune::res
