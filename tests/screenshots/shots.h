// Window families for kestrune-screenshots: each renders its windows into
// PNG files under the folder it is given.
#pragma once

#include <QString>
#include <functional>
#include <map>

class QWidget;

namespace kestrune::shots {

// Renders one family's windows into `folder`; false when one could not be
// written.
using Family = std::function<bool(const QString& folder)>;

// Every family, by name; a family's file adds itself with a FamilyEntry.
std::map<QString, Family>& Families();

// Saves `widget` as folder/name.png once its layout has settled; false, with
// a message, when the file could not be written.
bool Save(QWidget& widget, const QString& folder, const char* name);

struct FamilyEntry {
  FamilyEntry(const QString& name, Family family) { Families()[name] = std::move(family); }
};

}  // namespace kestrune::shots
