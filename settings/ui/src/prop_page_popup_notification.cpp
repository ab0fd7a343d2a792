#include "settings_ui/prop_page_popup_notification.h"

#include "resources/string_ids.h"
#include "ui_prop_page_popup_notification.h"

namespace kestrune::settings {

CPropPagePopupNotification::CPropPagePopupNotification(platform::UiServices& dialogs,
                                                       std::uint32_t level)
    : LevelPage(dialogs, level), ui_(std::make_unique<::Ui::CPropPagePopupNotification>()) {
  SetUpForm(*ui_);
  Attach(ui_->levelSlider, ui_->descriptionLabel);
}

CPropPagePopupNotification::~CPropPagePopupNotification() = default;

unsigned CPropPagePopupNotification::Description(int position) {
  switch (position) {
    case 1:
      return res::kStrPopupLevelInformational;
    case 2:
      return res::kStrPopupLevelWarning;
    case 3:
      return res::kStrPopupLevelError;
    default:
      return res::kStrPopupLevelDisabled;
  }
}

}  // namespace kestrune::settings
