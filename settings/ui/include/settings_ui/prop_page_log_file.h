// The "Log File" page: where the log file is, whether events are written to
// it, and its two actions that take effect at once: Browse (another file) and
// Purge (emptied, after an optional backup copy).
#pragma once

#include <memory>
#include <string>

#include "settings/app_settings.h"
#include "settings_ui/log_file_control.h"
#include "settings_ui/sheet_page.h"

namespace Ui {
class CPropPageLogFile;
}

namespace kestrune::settings {

class CPropPageLogFile final : public SheetPage {
 public:
  // `settings` and `control` must outlive the page; Browse writes the new
  // file's name and place to the settings and saves them at once.
  CPropPageLogFile(platform::UiServices& dialogs, AppSettings& settings, LogFileControl& control,
                   const AppSettings::Values& values);
  ~CPropPageLogFile() override;

  const std::wstring& Location() const { return location_; }
  const std::wstring& Name() const { return name_; }
  const std::wstring& Enabled() const { return enabled_; }
  const std::wstring& AutoPurge() const { return autoPurge_; }

  bool OnSetActive() override;

 protected:
  bool DoDataExchange(bool save) override;
  bool HandleCommand(unsigned id) override;

 private:
  void OnBrowse();
  void OnPurge();
  // Name, location, Browse, Purge and the auto-purge box, with their labels.
  void EnableFileControls(bool enable);

  std::unique_ptr<::Ui::CPropPageLogFile> ui_;
  AppSettings& settings_;
  LogFileControl& control_;
  std::wstring location_;
  std::wstring name_;
  std::wstring enabled_;
  std::wstring autoPurge_;
};

}  // namespace kestrune::settings
