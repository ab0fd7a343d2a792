// The user's own folders, from the environment and the password database.
// Every path the program derives from them (the registry database, the log
// location) starts here.
#pragma once

#include <string>

namespace kestrune::platform {

// $HOME when set and not empty, else the password database's home folder,
// else "." (the current folder); always ending in "/".
std::string HomeFolder();
// The XDG base folders, always ending in "/": the variable's value when it is
// an absolute path (the XDG rules ignore a relative one), else the default
// below the home folder.
std::string StateFolder();   // $XDG_STATE_HOME, else ~/.local/state/
std::string ConfigFolder();  // $XDG_CONFIG_HOME, else ~/.config/

}  // namespace kestrune::platform
