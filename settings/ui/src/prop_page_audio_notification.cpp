#include "settings_ui/prop_page_audio_notification.h"

#include <QPushButton>

#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "settings_ui/log_file_control.h"
#include "ui_prop_page_audio_notification.h"

namespace kestrune::settings {

namespace {
constexpr wchar_t kWaveExtension[] = L"wav";
}  // namespace

CPropPageAudioNotification::CPropPageAudioNotification(platform::UiServices& dialogs,
                                                       platform::Sound* sound,
                                                       std::wstring mediaFolder,
                                                       std::array<std::wstring, 3> waves)
    : SheetPage(dialogs),
      ui_(std::make_unique<::Ui::CPropPageAudioNotification>()),
      sound_(sound),
      mediaFolder_(std::move(mediaFolder)),
      waves_(std::move(waves)) {
  SetUpForm(*ui_);
  for (QPushButton* button :
       {ui_->informationalBrowseButton, ui_->warningBrowseButton, ui_->errorBrowseButton,
        ui_->informationalDisableButton, ui_->warningDisableButton, ui_->errorDisableButton}) {
    platform_qt::ConnectCommand(button, this);
  }
}

CPropPageAudioNotification::~CPropPageAudioNotification() = default;

QLineEdit* CPropPageAudioNotification::Edit(int severity) const {
  switch (severity) {
    case kInformational:
      return ui_->informationalEdit;
    case kWarning:
      return ui_->warningEdit;
    default:
      return ui_->errorEdit;
  }
}

bool CPropPageAudioNotification::DoDataExchange(bool save) {
  for (int severity = kInformational; severity <= kError; ++severity) {
    ExchangeText(save, Edit(severity), waves_[static_cast<std::size_t>(severity)]);
  }
  return true;
}

bool CPropPageAudioNotification::HandleCommand(unsigned id) {
  using platform_qt::CommandIdOf;
  const QPushButton* browse[] = {ui_->informationalBrowseButton, ui_->warningBrowseButton,
                                 ui_->errorBrowseButton};
  const QPushButton* disable[] = {ui_->informationalDisableButton, ui_->warningDisableButton,
                                  ui_->errorDisableButton};
  for (int severity = kInformational; severity <= kError; ++severity) {
    std::wstring& wave = waves_[static_cast<std::size_t>(severity)];
    if (CommandIdOf(browse[severity]) == id) {
      if (auto chosen = ChooseWaveFile()) {
        wave = *chosen;
        Edit(severity)->setText(platform_qt::ToQString(wave));
      }
      return true;
    }
    if (CommandIdOf(disable[severity]) == id) {
      wave = res::LoadString(res::kStrAudioDisabled);
      Edit(severity)->setText(platform_qt::ToQString(wave));
      return true;
    }
  }
  return false;
}

std::optional<std::wstring> CPropPageAudioNotification::ChooseWaveFile() {
  platform::FileDialogRequest request;
  request.title = res::LoadString(res::kStrWaveFileTitle);
  request.filter = res::LoadString(res::kStrWaveFileFilter);
  request.defaultExtension = kWaveExtension;
  request.startFolder = mediaFolder_;
  request.mustExist = true;
  std::optional<std::wstring> path = Dialogs().OpenFileName(request);
  if (!path) return std::nullopt;
  if (!HasExtension(*path, kWaveExtension)) {
    Tell(res::FormatString(res::kStrNotWaveFile, *path));
    return std::nullopt;
  }
  // Played once so the user hears the choice; a file that does not play is
  // taken all the same.
  if (sound_ == nullptr || !sound_->PlayAsync(*path)) {
    Tell(res::FormatString(res::kStrWavePlayFailed, *path));
  }
  return path;
}

}  // namespace kestrune::settings
