#include "settings_ui/prop_page_event_level.h"

#include "resources/string_ids.h"
#include "ui_prop_page_event_level.h"

namespace kestrune::settings {

CPropPageEventLevel::CPropPageEventLevel(platform::UiServices& dialogs, std::uint32_t level)
    : LevelPage(dialogs, level), ui_(std::make_unique<::Ui::CPropPageEventLevel>()) {
  SetUpForm(*ui_);
  Attach(ui_->levelSlider, ui_->descriptionLabel);
}

CPropPageEventLevel::~CPropPageEventLevel() = default;

unsigned CPropPageEventLevel::Description(int position) {
  switch (position) {
    case 1:
      return res::kStrMailLevelInformational;
    case 2:
      return res::kStrMailLevelWarning;
    case 3:
      return res::kStrMailLevelError;
    default:
      return res::kStrMailLevelDisabled;
  }
}

}  // namespace kestrune::settings
