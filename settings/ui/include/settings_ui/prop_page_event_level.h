// The "Event Level" page: which events are sent by e-mail.
#pragma once

#include <cstdint>
#include <memory>

#include "settings_ui/level_page.h"

namespace Ui {
class CPropPageEventLevel;
}

namespace kestrune::settings {

class CPropPageEventLevel final : public LevelPage {
 public:
  CPropPageEventLevel(platform::UiServices& dialogs, std::uint32_t level);
  ~CPropPageEventLevel() override;

  // The description of a slider position (any other than 1..3: "Disabled").
  static unsigned Description(int position);

 protected:
  unsigned DescriptionId(int position) const override { return Description(position); }

 private:
  std::unique_ptr<::Ui::CPropPageEventLevel> ui_;
};

}  // namespace kestrune::settings
