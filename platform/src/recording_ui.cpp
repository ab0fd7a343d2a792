#include "platform/recording_ui.h"

#include <algorithm>

namespace kestrune::platform {

MsgResult RecordingUi::PositiveAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
      return MsgResult::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::Yes;
    case MsgButtons::RetryCancel:
      return MsgResult::Cancel;
  }
  return MsgResult::Ok;
}

MsgResult RecordingUi::MessageBox(const std::wstring& text, const std::wstring& caption,
                                  MsgButtons buttons, MsgIcon icon) {
  RecordedMessage message{text, caption, buttons, icon, MsgResult::Ok};
  std::function<std::optional<MsgResult>(const RecordedMessage&)> responder;
  {
    std::lock_guard lock(mutex_);
    responder = responder_;
  }
  // The responder may itself use this object (queue answers, read the record).
  std::optional<MsgResult> answer = responder ? responder(message) : std::nullopt;
  std::lock_guard lock(mutex_);
  if (!answer && !answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  if (!answer) answer = defaultAnswer_;
  message.answer = answer.value_or(PositiveAnswer(buttons));
  messages_.push_back(message);
  return message.answer;
}

void RecordingUi::BeginWaitCursor() {
  std::lock_guard lock(mutex_);
  ++waitBegins_;
  ++waitDepth_;
  maxWaitDepth_ = std::max(maxWaitDepth_, waitDepth_);
}

void RecordingUi::EndWaitCursor() {
  std::lock_guard lock(mutex_);
  ++waitEnds_;
  --waitDepth_;
}

bool RecordingUi::SetClipboardText(const std::wstring& text) {
  std::lock_guard lock(mutex_);
  clipboard_.push_back(text);
  return clipboardResult_;
}

std::optional<std::wstring> RecordingUi::FileDialog(FileDialogKind kind,
                                                    const FileDialogRequest& request) {
  RecordedFileDialog dialog{kind, request, std::nullopt};
  std::function<std::optional<std::wstring>(const RecordedFileDialog&)> responder;
  {
    std::lock_guard lock(mutex_);
    responder = fileResponder_;
  }
  std::optional<std::wstring> answer = responder ? responder(dialog) : std::nullopt;
  std::lock_guard lock(mutex_);
  if (!answer && !fileAnswers_.empty()) {
    answer = fileAnswers_.front();
    fileAnswers_.pop_front();
  }
  dialog.answer = answer;
  fileDialogs_.push_back(dialog);
  return answer;
}

std::optional<std::wstring> RecordingUi::SaveFileName(const FileDialogRequest& request) {
  return FileDialog(FileDialogKind::Save, request);
}

std::optional<std::wstring> RecordingUi::OpenFileName(const FileDialogRequest& request) {
  return FileDialog(FileDialogKind::Open, request);
}

bool RecordingUi::OpenWithDesktop(const std::wstring& urlOrPath) {
  std::lock_guard lock(mutex_);
  opened_.push_back(urlOrPath);
  return openResult_;
}

void RecordingUi::QueueFileAnswer(std::optional<std::wstring> path) {
  std::lock_guard lock(mutex_);
  fileAnswers_.push_back(std::move(path));
}

void RecordingUi::SetFileResponder(
    std::function<std::optional<std::wstring>(const RecordedFileDialog&)> responder) {
  std::lock_guard lock(mutex_);
  fileResponder_ = std::move(responder);
}

void RecordingUi::SetOpenResult(bool ok) {
  std::lock_guard lock(mutex_);
  openResult_ = ok;
}

std::vector<RecordedFileDialog> RecordingUi::FileDialogs() {
  std::lock_guard lock(mutex_);
  return fileDialogs_;
}

std::vector<std::wstring> RecordingUi::OpenedWithDesktop() {
  std::lock_guard lock(mutex_);
  return opened_;
}

void RecordingUi::QueueAnswer(MsgResult answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

void RecordingUi::SetDefaultAnswer(std::optional<MsgResult> answer) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = answer;
}

void RecordingUi::SetResponder(
    std::function<std::optional<MsgResult>(const RecordedMessage&)> responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void RecordingUi::SetClipboardResult(bool ok) {
  std::lock_guard lock(mutex_);
  clipboardResult_ = ok;
}

std::size_t RecordingUi::PendingAnswers() {
  std::lock_guard lock(mutex_);
  return answers_.size();
}

std::vector<RecordedMessage> RecordingUi::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::size_t RecordingUi::MessageCount() {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

std::optional<RecordedMessage> RecordingUi::LastMessage() {
  std::lock_guard lock(mutex_);
  if (messages_.empty()) return std::nullopt;
  return messages_.back();
}

void RecordingUi::ClearMessages() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

int RecordingUi::WaitBegins() {
  std::lock_guard lock(mutex_);
  return waitBegins_;
}

int RecordingUi::WaitEnds() {
  std::lock_guard lock(mutex_);
  return waitEnds_;
}

int RecordingUi::WaitDepth() {
  std::lock_guard lock(mutex_);
  return waitDepth_;
}

int RecordingUi::MaxWaitDepth() {
  std::lock_guard lock(mutex_);
  return maxWaitDepth_;
}

std::vector<std::wstring> RecordingUi::ClipboardTexts() {
  std::lock_guard lock(mutex_);
  return clipboard_;
}

}  // namespace kestrune::platform
