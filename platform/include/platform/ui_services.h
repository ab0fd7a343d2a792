// What the core asks of a user interface: message boxes, the wait cursor, the
// clipboard, the common file dialogs and the desktop's "open". The desktop program answers with
// real widgets, the command-line programs on the console, tests with a recording double.
#pragma once

#include <optional>
#include <string>

namespace kestrune::platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// A common open or save dialog. The filter keeps the Windows form, pairs of
// description and pattern separated by '|' and ended by "||", for example
// "Text File (*.txt)|*.txt||"; several patterns of one pair are separated by ';'.
struct FileDialogRequest {
  std::wstring title;
  std::wstring defaultName;       // file name offered at first
  std::wstring defaultExtension;  // without the dot; added when the user types none
  std::wstring filter;
  std::wstring startFolder;
  bool overwritePrompt = false;  // save: ask before replacing an existing file
  bool mustExist = false;        // open: the chosen file must exist
};

// Threads: the event logger thread calls these too (driver error boxes, the
// wait cursor of a rediscovery). An implementation must accept calls from any
// thread and must not make a worker thread wait for the user-interface thread:
// a box with only an OK button raised off the UI thread is shown without
// waiting for it and answers Ok at once, and the wait-cursor calls never block.
class UiServices {
 public:
  virtual ~UiServices() = default;
  virtual MsgResult MessageBox(const std::wstring& text, const std::wstring& caption,
                               MsgButtons buttons, MsgIcon icon) = 0;
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  virtual bool SetClipboardText(const std::wstring& text) = 0;

  // The chosen full path, or nothing when the user cancelled. Dialogs are
  // modal and belong to the user-interface thread. Without a desktop there is
  // nobody to choose: the defaults cancel.
  virtual std::optional<std::wstring> SaveFileName(const FileDialogRequest& request) {
    static_cast<void>(request);
    return std::nullopt;
  }
  virtual std::optional<std::wstring> OpenFileName(const FileDialogRequest& request) {
    static_cast<void>(request);
    return std::nullopt;
  }
  // Hands a URL or a file to the desktop (browser, viewer); false when it
  // could not be handed over.
  virtual bool OpenWithDesktop(const std::wstring& urlOrPath) {
    static_cast<void>(urlOrPath);
    return false;
  }
};

// What a box answers when nobody picks a button (closed, or no one to ask):
// Cancel where there is one, else No, else Ok.
constexpr MsgResult ClosedAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgResult::Ok;
    case MsgButtons::YesNo:
      return MsgResult::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
      return MsgResult::Cancel;
  }
  return MsgResult::Cancel;
}

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  explicit WaitCursor(UiServices& ui) : ui_(ui) { ui_.BeginWaitCursor(); }
  ~WaitCursor() { ui_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  UiServices& ui_;
};

}  // namespace kestrune::platform
