// UiServices answered with Qt widgets: message boxes, the common file
// dialogs, the clipboard, the wait cursor and the desktop's "open".
#pragma once

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui_services.h"

namespace kestrune::platform_qt {

// The core's wide texts and Qt's strings (wchar_t holds a code point here).
QString ToQString(std::wstring_view text);
std::wstring ToWString(const QString& text);

// Converts a Windows filter ("Text File (*.txt)|*.txt|All Files (*.*)|*.*||")
// into Qt's form ("Text File (*.txt);;All Files (*.*)"). A description that
// does not end in its own patterns gets them appended in parentheses; ';'
// between patterns becomes a space. A dangling description without a pattern
// is dropped; an empty filter gives an empty text.
QString ConvertFilter(std::wstring_view windowsFilter);

// Icons and type texts for a file listing from the names and the file
// status alone. Qt's own provider guesses a regular file's type from its
// content, so a dialog listing a folder opens every file in it: it hangs for
// good on a file that never ends (/proc/kmsg), and its close of a file drops
// every POSIX lock the process holds on that file.
class NameOnlyIconProvider final : public QAbstractFileIconProvider {
 public:
  QIcon icon(IconType type) const override;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;

 private:
  QMimeDatabase mimeTypes_;
};

// Every file dialog of the program is made here: Qt's own dialog (never the
// desktop's), listing through NameOnlyIconProvider, set up from the request.
std::unique_ptr<QFileDialog> MakeFileDialog(bool save, const platform::FileDialogRequest& request,
                                            QWidget* parent);

// Create it on the user-interface thread (the thread of the QApplication); it
// may then be called from any thread. Calls from other threads are carried to
// the user-interface thread: an OK-only message box is queued and answers Ok
// at once, the wait-cursor calls are queued, every other call waits for the
// user-interface thread's answer.
class QtUiServices final : public QObject, public platform::UiServices {
  Q_OBJECT

 public:
  explicit QtUiServices(QObject* parent = nullptr);
  ~QtUiServices() override;

  platform::MsgResult MessageBox(const std::wstring& text, const std::wstring& caption,
                                 platform::MsgButtons buttons, platform::MsgIcon icon) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  bool SetClipboardText(const std::wstring& text) override;
  std::optional<std::wstring> SaveFileName(const platform::FileDialogRequest& request) override;
  std::optional<std::wstring> OpenFileName(const platform::FileDialogRequest& request) override;
  bool OpenWithDesktop(const std::wstring& urlOrPath) override;

  // The window that owns boxes and dialogs; none by default (they are then
  // top-level, as the program's main window is never shown).
  void SetParentWidget(QWidget* parent);

  // How many wait cursors are open now (user-interface thread's view).
  int WaitDepth() const;

 private:
  bool OnGuiThread() const;
  platform::MsgResult ShowBox(const QString& text, const QString& caption,
                              platform::MsgButtons buttons, platform::MsgIcon icon);
  std::optional<std::wstring> ShowFileDialog(bool save, const platform::FileDialogRequest& request);
  void DoBeginWait();
  void DoEndWait();

  QPointer<QWidget> parent_;
  std::atomic<int> waitDepth_{0};
};

}  // namespace kestrune::platform_qt
