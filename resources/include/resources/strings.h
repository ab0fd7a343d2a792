// The string table: every user-visible text, looked up by its number under
// the entry's name (string_ids.h).
#pragma once

#include <fmt/printf.h>
#include <fmt/xchar.h>

#include <string>
#include <vector>

#include "resources/string_ids.h"

namespace kestrune::res {

// The text of a string entry: from the language module when one is set and
// has it (language_module.h), else from the built-in table; an empty text for
// a number neither has.
const std::wstring& LoadString(unsigned id);

// The built-in (English) table alone.
const std::wstring& BuiltinString(unsigned id);
std::vector<unsigned> BuiltinStringIds();  // ascending

// Fills a printf-style format the way the Windows wide printf does (%s takes a
// wide string). A format that does not match its arguments yields the format
// itself rather than failing.
template <typename... Args>
std::wstring Sprintf(std::wstring_view format, const Args&... args) {
  try {
    return fmt::sprintf(format, args...);
  } catch (const fmt::format_error&) {
    return std::wstring(format);
  }
}

template <typename... Args>
std::wstring FormatString(unsigned id, const Args&... args) {
  return Sprintf(LoadString(id), args...);
}

}  // namespace kestrune::res
