// The "Audio" page: the wave file played for each severity, or "Disabled".
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/sound.h"
#include "settings_ui/sheet_page.h"

class QLineEdit;

namespace Ui {
class CPropPageAudioNotification;
}

namespace kestrune::settings {

class CPropPageAudioNotification final : public SheetPage {
 public:
  enum Severity { kInformational = 0, kWarning = 1, kError = 2 };

  // `sound` plays the chosen file once (null: nothing can be played);
  // `mediaFolder` is where the chooser starts.
  CPropPageAudioNotification(platform::UiServices& dialogs, platform::Sound* sound,
                             std::wstring mediaFolder, std::array<std::wstring, 3> waves);
  ~CPropPageAudioNotification() override;

  const std::wstring& Wave(Severity severity) const { return waves_[severity]; }

 protected:
  bool DoDataExchange(bool save) override;
  bool HandleCommand(unsigned id) override;

 private:
  // The wave file chooser: a wave file the user picked (played once), or
  // nothing.
  std::optional<std::wstring> ChooseWaveFile();
  QLineEdit* Edit(int severity) const;

  std::unique_ptr<::Ui::CPropPageAudioNotification> ui_;
  platform::Sound* sound_;
  std::wstring mediaFolder_;
  std::array<std::wstring, 3> waves_;
};

}  // namespace kestrune::settings
