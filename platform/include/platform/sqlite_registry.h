// The registry kept in one SQLite database file, with the computer-information
// keys answered read-only from the running system.
#pragma once

#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/system_info.h"

namespace kestrune::platform {

// Opens (creating when missing, folder included) the registry database at
// databasePath; ":memory:" gives a private store that lives as long as the
// object. The values
//   Software\Microsoft\Windows NT\CurrentVersion  ProductName, CurrentVersion, CSDVersion
//   System\CurrentControlSet\Control\ComputerName\ComputerName  ComputerName
//   Software\Microsoft\Windows\CurrentVersion  MediaPath
// are read from system (when given) and cannot be written or deleted; a value
// whose system text is empty reads as missing. Returns nullptr with a message
// naming the file in error when the file cannot be opened or is no registry
// database. The object may be used from several threads, and several
// processes may use the same file.
std::unique_ptr<Registry> OpenSqliteRegistry(const std::string& databasePath,
                                             std::shared_ptr<SystemInfo> system,
                                             std::string& error);

// The name of the SQLite file system layer the store opens its file with
// (registered on the first call; nullptr when it cannot be): SQLite's unix
// layer with the locks of a database held per open file description, so that
// a close of the file by other code of the process does not drop them.
const char* RegistryVfsName();

// $KESTRUNE_REGISTRY when set, else $XDG_CONFIG_HOME/kestrune/registry.db,
// else ~/.config/kestrune/registry.db.
std::string DefaultRegistryPath();

}  // namespace kestrune::platform
