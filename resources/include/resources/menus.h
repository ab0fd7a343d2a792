// The program's menus and toolbar as data; the user interface builds its
// widgets from them.
#pragma once

#include <string>
#include <vector>

namespace kestrune::res {

struct MenuItem {
  unsigned id = 0;              // command id; 0 for a separator or a popup
  std::wstring text;            // with its '&' mnemonic; empty for a separator
  std::vector<MenuItem> items;  // a popup's items

  bool IsSeparator() const { return id == 0 && text.empty(); }
  bool IsPopup() const { return id == 0 && !text.empty(); }
};

// The top-level items of menu 1500 (the main menu: "&File", "&Configure",
// "&Raid", "&Help") or 1502 (one popup whose items are the tray menu); an
// empty list for an unknown id.
const std::vector<MenuItem>& LoadMenu(unsigned id);

// Toolbar 1503: the buttons' command ids in order, 0 for a separator; empty
// for an unknown id.
const std::vector<unsigned>& LoadToolbar(unsigned id);

}  // namespace kestrune::res
