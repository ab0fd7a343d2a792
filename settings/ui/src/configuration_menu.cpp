#include "settings_ui/configuration_menu.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <new>

#include "platform/text.h"
#include "platform_qt/forms.h"
#include "resources/strings.h"
#include "settings/smtp_password.h"
#include "settings_ui/log_file_control.h"
#include "settings_ui/prop_page_audio_notification.h"
#include "settings_ui/prop_page_email.h"
#include "settings_ui/prop_page_email_notification.h"
#include "settings_ui/prop_page_event_level.h"
#include "settings_ui/prop_page_log_file.h"
#include "settings_ui/prop_page_popup_notification.h"
#include "settings_ui/prop_page_smtp.h"
#include "ui_configuration_menu.h"

namespace kestrune::settings {

namespace {

// The sheet as a child of the dialog: the dialog has the buttons, so the
// sheet's OK only reads the active page back, and its Cancel, Escape and
// Enter are the dialog's.
class ConfigurationSheet final : public platform_qt::CPropertySheet {
 public:
  ConfigurationSheet(QWidget* parent, std::function<void()> cancel)
      : CPropertySheet(QString(), parent, Buttons::None), cancel_(std::move(cancel)) {
    setWindowFlags(Qt::Widget);
  }

 protected:
  void OnOK() override {}
  void OnCancel() override { cancel_(); }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Escape:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        event->ignore();
        return;
      default:
        CPropertySheet::keyPressEvent(event);
    }
  }

 private:
  std::function<void()> cancel_;
};

}  // namespace

ConfigurationMenu::ConfigurationMenu(ConfigurationMenuServices services)
    : QDialog(nullptr), services_(std::move(services)) {
  setAttribute(Qt::WA_DeleteOnClose);
}

ConfigurationMenu::~ConfigurationMenu() {
  // The pages go before what they refer to.
  delete sheet_;
}

platform_qt::CPropertySheet* ConfigurationMenu::Sheet() const {
  return sheet_;
}

bool ConfigurationMenu::Create() {
  if (sheet_ != nullptr) return true;
  if (services_.settings == nullptr || services_.dialogs == nullptr) return false;
  try {
    ui_ = std::make_unique<::Ui::ConfigurationMenu>();
    platform_qt::SetUpForm(*ui_, this);
    setUpdatesEnabled(false);
    AppSettings& settings = *services_.settings;
    platform::UiServices& dialogs = *services_.dialogs;
    control_ = std::make_unique<LogFileControl>(settings, services_.logger, dialogs);
    const AppSettings::Values values = settings.Get();

    auto* sheet = new ConfigurationSheet(ui_->sheetHost, [this] { reject(); });
    sheet_ = sheet;
    sheet_->SetUiServices(&dialogs);
    smtp_ = new CPropPageSmtp(
        dialogs,
        {values.smtpServer, values.smtpPort, values.smtpSecurity, values.smtpUser,
         values.smtpCaFile},
        services_.smtpPasswordPath.empty() ? SmtpPasswordPath() : services_.smtpPasswordPath);
    email_ = new CPropPageEmail(dialogs, values.defaultEmail, values.emailSubject);
    notification_ = new CPropPageEmailNotification(dialogs, values.eventSubject, values.eventList);
    eventLevel_ = new CPropPageEventLevel(dialogs, values.emailEventLevel);
    logFile_ = new CPropPageLogFile(dialogs, settings, *control_, values);
    audio_ = new CPropPageAudioNotification(
        dialogs, services_.sound, services_.mediaFolder,
        {values.audioInformational, values.audioWarning, values.audioError});
    popup_ = new CPropPagePopupNotification(dialogs, values.popupEventLevel);
    for (platform_qt::CPropertyPage* page : std::initializer_list<platform_qt::CPropertyPage*>{
             smtp_, email_, notification_, eventLevel_, logFile_, audio_, popup_}) {
      sheet_->AddPage(page);
    }
    ui_->sheetHost->layout()->addWidget(sheet_);

    connect(ui_->okButton, &QPushButton::clicked, this, &ConfigurationMenu::OnOK);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &ConfigurationMenu::reject);
    setUpdatesEnabled(true);
    platform_qt::FitToTexts(this);
    update();
  } catch (const std::bad_alloc&) {
    setUpdatesEnabled(true);
    return false;
  }
  return true;
}

void ConfigurationMenu::setVisible(bool visible) {
  if (visible && sheet_ == nullptr) {
    if (failed_ || destroying_) return;
    if (!Create()) {
      failed_ = true;
      if (services_.dialogs != nullptr) {
        services_.dialogs->MessageBox(res::LoadString(res::kStrDialogCreateFailed),
                                      res::LoadString(res::kStrAppTitle), platform::MsgButtons::Ok,
                                      platform::MsgIcon::None);
      }
      Destroy();
      return;
    }
  }
  QDialog::setVisible(visible);
}

void ConfigurationMenu::OnOK() {
  if (sheet_ == nullptr || destroying_) return;
  // 1. The active page's controls into its copy.
  if (!sheet_->PressOk()) return;

  // 2. The copies, in this order.
  AppSettings& settings = *services_.settings;
  settings.SetSmtpServer(smtp_->Server());
  settings.SetDefaultEmail(email_->Address());
  settings.SetEmailSubject(email_->Subject());
  settings.SetEmailEventLevel(eventLevel_->Level());
  settings.SetEventSubject(notification_->Subject());
  settings.SetEventList(notification_->Addresses());
  settings.SetAudioInformational(audio_->Wave(CPropPageAudioNotification::kInformational));
  settings.SetAudioWarning(audio_->Wave(CPropPageAudioNotification::kWarning));
  settings.SetAudioError(audio_->Wave(CPropPageAudioNotification::kError));
  settings.SetPopupEventLevel(popup_->Level());
  settings.SetLogFileLocation(logFile_->Location());
  settings.SetLogFileName(logFile_->Name());
  settings.SetAutoSaveAndPurge(logFile_->AutoPurge());
  const SmtpPageValues& smtp = smtp_->Values();
  const bool userRemoved = smtp.user.empty() && !settings.SmtpUser().empty();
  settings.SetSmtpPort(smtp.port);
  settings.SetSmtpSecurity(smtp.security);
  settings.SetSmtpUser(smtp.user);
  settings.SetSmtpCaFile(smtp.caFile);
  // The password goes to its own file, never to the store. Once the user is
  // removed it is of no use and is not kept.
  std::string why;
  if (smtp_->PasswordTyped()) {
    if (!WriteSmtpPassword(smtp_->PasswordFile(), smtp_->Password(), why)) {
      services_.dialogs->MessageBox(
          res::FormatString(res::kStrSmtpPasswordNotSaved,
                            platform::FromUtf8(smtp_->PasswordFile()), platform::FromUtf8(why)),
          res::LoadString(res::kStrAppTitle), platform::MsgButtons::Ok,
          platform::MsgIcon::Warning);
    }
  } else if (userRemoved) {
    WriteSmtpPassword(smtp_->PasswordFile(), "", why);
  }

  // 3. The log switch, only when its text changed.
  if (logFile_->Enabled() != settings.LogFileEnabled()) {
    const LogFilePause pause(*control_);
    settings.SetLogFileEnabled(logFile_->Enabled());
    if (AppSettings::SwitchOn(logFile_->Enabled())) control_->OpenHeld(false);
  }

  // 4. and 5.
  settings.Save();
  Destroy();
}

void ConfigurationMenu::reject() {
  Destroy();
}

void ConfigurationMenu::closeEvent(QCloseEvent* event) {
  destroying_ = true;
  event->accept();
}

void ConfigurationMenu::Destroy() {
  if (destroying_) return;
  destroying_ = true;
  // Hidden now, deleted once control is back in the event loop.
  setAttribute(Qt::WA_DeleteOnClose);
  close();
}

ConfigurationMenu* MakeConfigurationMenu(ConfigurationMenuServices services) {
  try {
    return new ConfigurationMenu(std::move(services));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kestrune::settings
