#include "settings_ui/level_page.h"

#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"

namespace kestrune::settings {

namespace {
constexpr int kLowest = 0;
constexpr int kHighest = 3;
}  // namespace

LevelPage::LevelPage(platform::UiServices& dialogs, std::uint32_t level)
    : SheetPage(dialogs), level_(level) {}

LevelPage::~LevelPage() = default;

void LevelPage::Attach(QSlider* slider, QLabel* description) {
  slider_ = slider;
  description_ = description;
  // The slider tracks: every position it passes while dragged is read back
  // and described at once.
  slider_->setTracking(true);
  connect(slider_, &QSlider::valueChanged, this, [this] {
    UpdateData(true);
    Describe();
  });
}

bool LevelPage::OnSetActive() {
  const platform::WaitCursor wait(Dialogs());
  slider_->setRange(kLowest, kHighest);
  UpdateData(false);
  Describe();
  return true;
}

bool LevelPage::DoDataExchange(bool save) {
  if (save) {
    level_ = static_cast<std::uint32_t>(std::max(slider_->value(), 0));
  } else {
    // A stored level beyond the range shows at the nearest end.
    const int position =
        level_ > static_cast<std::uint32_t>(kHighest) ? kHighest : static_cast<int>(level_);
    const QSignalBlocker quiet(slider_);
    slider_->setValue(position);
  }
  return true;
}

void LevelPage::Describe() {
  description_->setText(platform_qt::ToQString(res::LoadString(DescriptionId(slider_->value()))));
}

}  // namespace kestrune::settings
