// A notification level page: a slider over the positions 0 to 3 and a text
// describing the position, kept up to date while the slider is dragged.
#pragma once

#include <cstdint>

#include "settings_ui/sheet_page.h"

class QLabel;
class QSlider;

namespace kestrune::settings {

class LevelPage : public SheetPage {
  Q_OBJECT

 public:
  ~LevelPage() override;

  std::uint32_t Level() const { return level_; }

  // Range 0..3, the slider at the copy's level and its description.
  bool OnSetActive() override;

 protected:
  LevelPage(platform::UiServices& dialogs, std::uint32_t level);
  // Called by the page's constructor once its form is set up.
  void Attach(QSlider* slider, QLabel* description);
  // The string describing a position; positions other than 1, 2 and 3 are "off".
  virtual unsigned DescriptionId(int position) const = 0;

  bool DoDataExchange(bool save) override;

 private:
  void Describe();

  QSlider* slider_ = nullptr;
  QLabel* description_ = nullptr;
  std::uint32_t level_;
};

}  // namespace kestrune::settings
