// What the core asks of a user interface: message boxes, the wait cursor and
// the clipboard. The desktop program answers with real widgets, the command-line
// programs on the console, tests with a recording double.
#pragma once

#include <string>

namespace kestrune::platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

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
};

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
