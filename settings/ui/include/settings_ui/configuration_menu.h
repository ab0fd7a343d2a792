// The "Configuration Menu": a modeless dialog with OK and Cancel around a
// property sheet of seven pages, each editing its own copy of some settings.
// OK writes the copies back and saves them; Cancel writes nothing back. Browse
// and Purge on the Log File page act on the log file at once.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "events/event_log_thread.h"
#include "platform/sound.h"
#include "platform_qt/property_sheet.h"
#include "settings/app_settings.h"

namespace Ui {
class ConfigurationMenu;
}

namespace kestrune::platform {
// Not included: uic would take "ui_services.h" in this header for a form's.
class UiServices;
}  // namespace kestrune::platform

namespace kestrune::settings {

class CPropPageSmtp;
class CPropPageEmail;
class CPropPageEmailNotification;
class CPropPageEventLevel;
class CPropPageLogFile;
class CPropPageAudioNotification;
class CPropPagePopupNotification;
class LogFileControl;

// What the dialog works on; everything must outlive it.
struct ConfigurationMenuServices {
  AppSettings* settings = nullptr;
  // The main frame's logger (its held log file and the pause handshake); null
  // when the program has none.
  evt::EventLogger* logger = nullptr;
  platform::UiServices* dialogs = nullptr;
  platform::Sound* sound = nullptr;  // plays the wave file just chosen
  std::wstring mediaFolder;          // where the wave file chooser starts
  // Where the SMTP password is kept; empty: SmtpPasswordPath().
  std::string smtpPasswordPath;
};

class ConfigurationMenu final : public QDialog {
  Q_OBJECT

 public:
  // The object alone; the window is made when it is first shown.
  explicit ConfigurationMenu(ConfigurationMenuServices services);
  ~ConfigurationMenu() override;

  // Makes the window from its form: with redrawing off, the seven pages get
  // their copies of the settings and go into the sheet in their order, and
  // the sheet fills the dialog above its buttons. False when the window
  // cannot be made (no settings to edit, or no memory left).
  bool Create();
  bool Created() const { return sheet_ != nullptr; }

  // The first show makes the window; when that fails, "Error creating
  // Dialog" is shown and the object destroys itself instead of showing.
  void setVisible(bool visible) override;

  // OK: the active page's controls are read into its copy (a text that is
  // too long keeps the user on the page); the copies are assigned to the
  // settings; a changed "Log File Enabled" is applied under the logger's
  // pause (the log file closed, and opened again when it is now on); the
  // settings are saved; the dialog is destroyed.
  void OnOK();
  // Cancel, Escape and the close box: destroyed, nothing written back.
  void reject() override;

  platform_qt::CPropertySheet* Sheet() const;
  CPropPageSmtp* SmtpPage() const { return smtp_; }
  CPropPageEmail* EmailPage() const { return email_; }
  CPropPageEmailNotification* NotificationPage() const { return notification_; }
  CPropPageEventLevel* EventLevelPage() const { return eventLevel_; }
  CPropPageLogFile* LogFilePage() const { return logFile_; }
  CPropPageAudioNotification* AudioPage() const { return audio_; }
  CPropPagePopupNotification* PopupPage() const { return popup_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Destroy();

  ConfigurationMenuServices services_;
  std::unique_ptr<::Ui::ConfigurationMenu> ui_;
  std::unique_ptr<LogFileControl> control_;
  platform_qt::CPropertySheet* sheet_ = nullptr;
  CPropPageSmtp* smtp_ = nullptr;
  CPropPageEmail* email_ = nullptr;
  CPropPageEmailNotification* notification_ = nullptr;
  CPropPageEventLevel* eventLevel_ = nullptr;
  CPropPageLogFile* logFile_ = nullptr;
  CPropPageAudioNotification* audio_ = nullptr;
  CPropPagePopupNotification* popup_ = nullptr;
  bool failed_ = false;
  bool destroying_ = false;
};

// The object the Configure command opens; null when it cannot be made (the
// frame then shows "Could not create the Configuration Menu.").
ConfigurationMenu* MakeConfigurationMenu(ConfigurationMenuServices services);

}  // namespace kestrune::settings
