// The "Popup" page: which events show the event popup.
#pragma once

#include <cstdint>
#include <memory>

#include "settings_ui/level_page.h"

namespace Ui {
class CPropPagePopupNotification;
}

namespace kestrune::settings {

class CPropPagePopupNotification final : public LevelPage {
 public:
  CPropPagePopupNotification(platform::UiServices& dialogs, std::uint32_t level);
  ~CPropPagePopupNotification() override;

  // The description of a slider position (any other than 1..3: "Disabled").
  static unsigned Description(int position);

 protected:
  unsigned DescriptionId(int position) const override { return Description(position); }

 private:
  std::unique_ptr<::Ui::CPropPagePopupNotification> ui_;
};

}  // namespace kestrune::settings
