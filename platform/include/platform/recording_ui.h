// UI services for tests: every message box and file dialog is recorded and
// answered from a script, wait cursors, clipboard texts and desktop opens are
// counted and kept.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui_services.h"

namespace kestrune::platform {

struct RecordedMessage {
  std::wstring text;
  std::wstring caption;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
  MsgResult answer = MsgResult::Ok;  // what the box answered
};

enum class FileDialogKind { Open, Save };

struct RecordedFileDialog {
  FileDialogKind kind = FileDialogKind::Open;
  FileDialogRequest request;
  std::optional<std::wstring> answer;  // what the dialog answered
};

class RecordingUi final : public UiServices {
 public:
  // Answers, in order: the responder when set and it gives one, the next
  // scripted answer, the default answer when set, else the positive answer
  // (Ok, Yes; Cancel for Retry/Cancel so that a retry loop cannot spin).
  MsgResult MessageBox(const std::wstring& text, const std::wstring& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  bool SetClipboardText(const std::wstring& text) override;
  // Answer, in order: the file responder when set and it gives an answer, the
  // next scripted file answer, else cancelled.
  std::optional<std::wstring> SaveFileName(const FileDialogRequest& request) override;
  std::optional<std::wstring> OpenFileName(const FileDialogRequest& request) override;
  bool OpenWithDesktop(const std::wstring& urlOrPath) override;

  // Script.
  void QueueAnswer(MsgResult answer);
  void SetDefaultAnswer(std::optional<MsgResult> answer);
  // Called (without the lock held) for each box; may act on the box's content.
  void SetResponder(std::function<std::optional<MsgResult>(const RecordedMessage&)> responder);
  void SetClipboardResult(bool ok);
  std::size_t PendingAnswers();
  // A scripted file answer; nullopt scripts a cancel.
  void QueueFileAnswer(std::optional<std::wstring> path);
  // Returning nullopt falls through to the script (a cancel cannot be given
  // here; script it instead).
  void SetFileResponder(
      std::function<std::optional<std::wstring>(const RecordedFileDialog&)> responder);
  void SetOpenResult(bool ok);

  static MsgResult PositiveAnswer(MsgButtons buttons);

  // Record.
  std::vector<RecordedMessage> Messages();
  std::size_t MessageCount();
  std::optional<RecordedMessage> LastMessage();
  void ClearMessages();

  int WaitBegins();
  int WaitEnds();
  int WaitDepth();     // begins less ends now
  int MaxWaitDepth();  // deepest nesting seen

  std::vector<std::wstring> ClipboardTexts();  // every text offered, in order

  std::vector<RecordedFileDialog> FileDialogs();
  std::vector<std::wstring> OpenedWithDesktop();  // every URL or path, in order

 private:
  std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  std::deque<MsgResult> answers_;
  std::optional<MsgResult> defaultAnswer_;
  std::function<std::optional<MsgResult>(const RecordedMessage&)> responder_;
  int waitBegins_ = 0;
  int waitEnds_ = 0;
  int waitDepth_ = 0;
  int maxWaitDepth_ = 0;
  std::vector<std::wstring> clipboard_;
  bool clipboardResult_ = true;
  std::vector<RecordedFileDialog> fileDialogs_;
  std::deque<std::optional<std::wstring>> fileAnswers_;
  std::function<std::optional<std::wstring>(const RecordedFileDialog&)> fileResponder_;
  std::vector<std::wstring> opened_;
  bool openResult_ = true;

  std::optional<std::wstring> FileDialog(FileDialogKind kind, const FileDialogRequest& request);
};

}  // namespace kestrune::platform
