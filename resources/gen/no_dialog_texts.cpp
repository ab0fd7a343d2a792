// Without the user interface there are no forms, and so no dialog texts.
#include "resources/language_module.h"

namespace kestrune::res {

std::string_view BuiltinDialogModuleText() {
  return {};
}

}  // namespace kestrune::res
