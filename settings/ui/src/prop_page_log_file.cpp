#include "settings_ui/prop_page_log_file.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "events/log_file.h"
#include "platform/text.h"
#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "settings_ui/sheet_limits.h"
#include "ui_prop_page_log_file.h"

namespace kestrune::settings {

namespace {

constexpr wchar_t kTextExtension[] = L"txt";
constexpr wchar_t kBackupExtension[] = L"bak";

std::wstring ReplaceAll(std::wstring text, const std::wstring& what, const std::wstring& with) {
  for (std::size_t at = text.find(what); at != std::wstring::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

// Something is there, a dangling link included.
bool PathTaken(const std::wstring& path) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(platform::ToUtf8(path), ec);
  return !ec && status.type() != std::filesystem::file_type::not_found;
}

const wchar_t* SwitchText(bool on) {
  return on ? L"TRUE" : L"FALSE";
}

}  // namespace

CPropPageLogFile::CPropPageLogFile(platform::UiServices& dialogs, AppSettings& settings,
                                   LogFileControl& control, const AppSettings::Values& values)
    : SheetPage(dialogs),
      ui_(std::make_unique<::Ui::CPropPageLogFile>()),
      settings_(settings),
      control_(control),
      location_(values.logFileLocation),
      name_(values.logFileName),
      enabled_(values.logFileEnabled),
      autoPurge_(values.autoSaveAndPurge) {
  SetUpForm(*ui_);
  for (QAbstractButton* button : {static_cast<QAbstractButton*>(ui_->browseButton),
                                  static_cast<QAbstractButton*>(ui_->purgeButton),
                                  static_cast<QAbstractButton*>(ui_->enableRadio),
                                  static_cast<QAbstractButton*>(ui_->disableRadio)}) {
    platform_qt::ConnectCommand(button, this);
  }
}

CPropPageLogFile::~CPropPageLogFile() = default;

bool CPropPageLogFile::OnSetActive() {
  const platform::WaitCursor wait(Dialogs());
  UpdateData(false);
  return true;
}

bool CPropPageLogFile::DoDataExchange(bool save) {
  if (!ExchangeText(save, ui_->locationEdit, location_, kMaxLocationChars) ||
      !ExchangeText(save, ui_->nameEdit, name_)) {
    return false;
  }
  if (save) {
    enabled_ = SwitchText(ui_->enableRadio->isChecked());
    autoPurge_ = SwitchText(ui_->autoPurgeCheck->isChecked());
    return true;
  }
  const bool on = AppSettings::SwitchOn(enabled_);
  ui_->enableRadio->setChecked(on);
  ui_->disableRadio->setChecked(!on);
  ui_->autoPurgeCheck->setChecked(AppSettings::SwitchOn(autoPurge_));
  EnableFileControls(on);
  return true;
}

void CPropPageLogFile::EnableFileControls(bool enable) {
  for (QWidget* control :
       {static_cast<QWidget*>(ui_->nameLabel), static_cast<QWidget*>(ui_->nameEdit),
        static_cast<QWidget*>(ui_->locationLabel), static_cast<QWidget*>(ui_->locationEdit),
        static_cast<QWidget*>(ui_->browseButton), static_cast<QWidget*>(ui_->purgeButton),
        static_cast<QWidget*>(ui_->autoPurgeCheck)}) {
    control->setEnabled(enable);
  }
}

bool CPropPageLogFile::HandleCommand(unsigned id) {
  using platform_qt::CommandIdOf;
  if (CommandIdOf(ui_->browseButton) == id) {
    OnBrowse();
  } else if (CommandIdOf(ui_->purgeButton) == id) {
    OnPurge();
  } else if (CommandIdOf(ui_->enableRadio) == id || CommandIdOf(ui_->disableRadio) == id) {
    EnableFileControls(ui_->enableRadio->isChecked());
  } else {
    return false;
  }
  return true;
}

void CPropPageLogFile::OnBrowse() {
  platform::FileDialogRequest request;
  request.title = res::LoadString(res::kStrSelectLogFileTitle);
  request.filter = res::LoadString(res::kStrTextFileFilter);
  request.defaultExtension = kTextExtension;
  request.defaultName = platform_qt::ToWString(ui_->nameEdit->text());
  request.startFolder = platform_qt::ToWString(ui_->locationEdit->text());
  const std::optional<std::wstring> chosen = Dialogs().OpenFileName(request);
  if (!chosen) return;
  const std::wstring& path = *chosen;
  if (!HasExtension(path, kTextExtension)) {
    Tell(res::FormatString(res::kStrNotTextFile, path));
    return;
  }

  bool truncate = true;
  if (PathTaken(path)) {
    const std::wstring question = res::FormatString(res::kStrLogFileExists, path) +
                                  res::LoadString(res::kStrClickYesToPurge) +
                                  res::LoadString(res::kStrClickNoToAppend);
    switch (Dialogs().MessageBox(question, res::LoadString(res::kStrLogFileExistsCaption),
                                 platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question)) {
      case platform::MsgResult::Yes:
        break;
      case platform::MsgResult::No:
        truncate = false;
        break;
      default:
        return;
    }
  }

  std::wstring folder;
  std::wstring file;
  SplitPath(path, folder, file);
  const bool held = control_.Held();
  bool switched = false;
  {
    const LogFilePause pause(control_);
    // The new file is made (or emptied) first: one that cannot be opened
    // leaves the log where it was, rather than pointing the settings at a file
    // that no entry could go into.
    evt::LogFileHandle opened = evt::OpenLogFile(path, truncate);
    if (opened) {
      opened.Close();
      location_ = folder;
      name_ = file;
      settings_.SetLogFileName(name_);
      settings_.SetLogFileLocation(location_);
      control_.OpenHeld(false);
      switched = true;
    } else if (held) {
      control_.OpenHeld(false);
    }
  }
  if (!switched) {
    Tell(res::FormatString(res::kStrLogFileNotOpened, path));
    return;
  }
  ui_->locationEdit->setText(platform_qt::ToQString(location_));
  ui_->nameEdit->setText(platform_qt::ToQString(name_));
  settings_.Save();
}

void CPropPageLogFile::OnPurge() {
  const platform::MsgResult answer = Dialogs().MessageBox(
      res::LoadString(res::kStrSaveEventsQuestion), res::LoadString(res::kStrSaveEventsCaption),
      platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question);
  if (answer != platform::MsgResult::Yes && answer != platform::MsgResult::No) return;

  // The file that is emptied is the one the logger writes; the backup is a
  // copy of that same file.
  const std::wstring logPath = settings_.LogFilePath();
  std::optional<std::wstring> backup;
  if (answer == platform::MsgResult::Yes) {
    platform::FileDialogRequest request;
    request.title = res::LoadString(res::kStrSaveEventsTitle);
    request.filter = res::LoadString(res::kStrBackupFileFilter);
    request.defaultExtension = kBackupExtension;
    request.defaultName = ReplaceAll(settings_.LogFileName(), L".txt", L".bak");
    request.startFolder = settings_.LogFileLocation();
    request.overwritePrompt = true;
    // Cancelled: purged without a copy.
    backup = Dialogs().SaveFileName(request);
  }

  std::wstring error;
  bool copied = true;
  const bool held = control_.Held();
  {
    // The copy is taken under the pause, so that it holds every entry made
    // before the file is emptied; nothing is emptied when it fails.
    const LogFilePause pause(control_);
    if (backup) copied = CopyFileReplacing(logPath, *backup, error);
    if (copied) {
      control_.OpenHeld(true);
    } else if (held) {
      control_.OpenHeld(false);
    }
  }
  if (!copied) {
    Dialogs().MessageBox(res::FormatString(res::kStrSaveEventsFailed, error),
                         res::LoadString(res::kStrSaveEventsTitle), platform::MsgButtons::Ok,
                         platform::MsgIcon::Information);
  }
}

}  // namespace kestrune::settings
