#include "platform_qt/qt_ui_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QMimeType>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <future>
#include <memory>

namespace kestrune::platform_qt {

using platform::FileDialogRequest;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::ClosedAnswer;

QString ToQString(std::wstring_view text) {
  return QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::wstring ToWString(const QString& text) {
  return text.toStdWString();
}

QString ConvertFilter(std::wstring_view windowsFilter) {
  const QStringList parts = ToQString(windowsFilter).split(QLatin1Char('|'));
  QStringList filters;
  // Pairs of description and patterns; the list ends at the first empty part
  // (the "||" ending).
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    if (description.isEmpty()) break;
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
      if (!pattern.trimmed().isEmpty()) patterns << pattern.trimmed();
    }
    if (patterns.isEmpty()) continue;
    const QString own = QStringLiteral("(") + patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
    filters << (description.endsWith(own) ? description : description + QLatin1Char(' ') + own);
  }
  return filters.join(QStringLiteral(";;"));
}

namespace {

QMessageBox::StandardButtons ToQtButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return QMessageBox::Ok;
    case MsgButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::RetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::None:
      return QMessageBox::NoIcon;
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

MsgResult FromQtButton(QMessageBox::StandardButton button, MsgButtons buttons) {
  switch (button) {
    case QMessageBox::Ok:
      return MsgResult::Ok;
    case QMessageBox::Cancel:
      return MsgResult::Cancel;
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    case QMessageBox::Retry:
      return MsgResult::Retry;
    case QMessageBox::Abort:
      return MsgResult::Abort;
    case QMessageBox::Ignore:
      return MsgResult::Ignore;
    default:
      return ClosedAnswer(buttons);
  }
}

// Runs f on context's thread and waits for its result. The hand-over is a
// promise rather than a blocking queued call, so that the result's passage
// between the threads is plain standard-library synchronisation. When the
// call cannot run (the object is gone before the loop reaches it) the caller
// gets the fallback.
template <typename R, typename F>
R CallOnGuiThread(QObject* context, F f, R fallback) {
  auto promise = std::make_shared<std::promise<R>>();
  std::future<R> future = promise->get_future();
  const bool queued = QMetaObject::invokeMethod(
      context, [promise, f]() mutable { promise->set_value(f()); }, Qt::QueuedConnection);
  if (!queued) return fallback;
  promise.reset();  // only the queued call holds it now
  try {
    return future.get();
  } catch (const std::future_error&) {
    return fallback;
  }
}

}  // namespace

QIcon NameOnlyIconProvider::icon(IconType type) const {
  return QAbstractFileIconProvider::icon(type);
}

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
  if (info.isRoot()) return icon(Drive);
  if (info.isDir()) return icon(Folder);
  for (const QMimeType& mime : mimeTypes_.mimeTypesForFileName(info.fileName())) {
    QIcon themed = QIcon::fromTheme(mime.iconName());
    if (themed.isNull()) themed = QIcon::fromTheme(mime.genericIconName());
    if (!themed.isNull()) return themed;
  }
  return icon(File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
  // Drives, folders, links and special files the base names from their
  // status alone; it is a regular file whose type it would read.
  if (!info.isFile() || info.isRoot()) return QAbstractFileIconProvider::type(info);
  for (const QMimeType& mime : mimeTypes_.mimeTypesForFileName(info.fileName())) {
    if (!mime.comment().isEmpty()) return mime.comment();
  }
  return QGuiApplication::translate("QAbstractFileIconProvider", "File");
}

std::unique_ptr<QFileDialog> MakeFileDialog(bool save, const FileDialogRequest& request,
                                            QWidget* parent) {
  // One provider for every dialog of the process, never destroyed: a
  // dialog's model may ask it for icons until the model itself is gone.
  static NameOnlyIconProvider* const icons = new NameOnlyIconProvider;
  auto dialog = std::make_unique<QFileDialog>(parent, ToQString(request.title),
                                              ToQString(request.startFolder));
  // Qt's own widgets rather than the desktop's dialog, whose listing may read
  // the files it shows; set first, as the later settings go to the widgets.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setOption(QFileDialog::DontUseCustomDirectoryIcons);
  dialog->setIconProvider(icons);
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(!save && request.mustExist ? QFileDialog::ExistingFile
                                                 : QFileDialog::AnyFile);
  const QString filter = ConvertFilter(request.filter);
  if (!filter.isEmpty()) dialog->setNameFilter(filter);
  if (!request.defaultExtension.empty()) {
    dialog->setDefaultSuffix(ToQString(request.defaultExtension));
  }
  if (save && !request.overwritePrompt) dialog->setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.defaultName.empty()) dialog->selectFile(ToQString(request.defaultName));
  return dialog;
}

QtUiServices::QtUiServices(QObject* parent) : QObject(parent) {}

QtUiServices::~QtUiServices() {
  // Wait cursors still open belong to work that is gone now.
  if (OnGuiThread()) {
    while (waitDepth_.load() > 0) DoEndWait();
  }
}

bool QtUiServices::OnGuiThread() const {
  return QThread::currentThread() == thread();
}

void QtUiServices::SetParentWidget(QWidget* parent) {
  parent_ = parent;
}

int QtUiServices::WaitDepth() const {
  return waitDepth_.load();
}

MsgResult QtUiServices::MessageBox(const std::wstring& text, const std::wstring& caption,
                                   MsgButtons buttons, MsgIcon icon) {
  const QString qtText = ToQString(text);
  const QString qtCaption = ToQString(caption);
  if (OnGuiThread()) return ShowBox(qtText, qtCaption, buttons, icon);
  if (buttons == MsgButtons::Ok) {
    // Nothing to decide: the worker goes on while the box is up.
    QMetaObject::invokeMethod(
        this, [this, qtText, qtCaption, icon] { ShowBox(qtText, qtCaption, MsgButtons::Ok, icon); },
        Qt::QueuedConnection);
    return MsgResult::Ok;
  }
  return CallOnGuiThread(
      this,
      [this, qtText, qtCaption, buttons, icon] {
        return ShowBox(qtText, qtCaption, buttons, icon);
      },
      ClosedAnswer(buttons));
}

MsgResult QtUiServices::ShowBox(const QString& text, const QString& caption, MsgButtons buttons,
                                MsgIcon icon) {
  QMessageBox box(ToQtIcon(icon), caption, text, ToQtButtons(buttons), parent_.data());
  switch (buttons) {
    case MsgButtons::Ok:
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MsgButtons::YesNo:
      break;
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return ClosedAnswer(buttons);
  return FromQtButton(box.standardButton(clicked), buttons);
}

void QtUiServices::BeginWaitCursor() {
  if (OnGuiThread()) {
    DoBeginWait();
  } else {
    QMetaObject::invokeMethod(
        this, [this] { DoBeginWait(); }, Qt::QueuedConnection);
  }
}

void QtUiServices::EndWaitCursor() {
  if (OnGuiThread()) {
    DoEndWait();
  } else {
    QMetaObject::invokeMethod(
        this, [this] { DoEndWait(); }, Qt::QueuedConnection);
  }
}

void QtUiServices::DoBeginWait() {
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  ++waitDepth_;
}

void QtUiServices::DoEndWait() {
  // An unmatched end must not take away a cursor someone else set.
  if (waitDepth_.load() <= 0) return;
  --waitDepth_;
  QGuiApplication::restoreOverrideCursor();
}

bool QtUiServices::SetClipboardText(const std::wstring& text) {
  const QString qtText = ToQString(text);
  auto set = [qtText] {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return false;
    clipboard->setText(qtText);
    return true;
  };
  if (OnGuiThread()) return set();
  return CallOnGuiThread(this, set, false);
}

std::optional<std::wstring> QtUiServices::ShowFileDialog(bool save,
                                                         const FileDialogRequest& request) {
  const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(save, request, parent_.data());
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return ToWString(files.front());
}

std::optional<std::wstring> QtUiServices::SaveFileName(const FileDialogRequest& request) {
  if (OnGuiThread()) return ShowFileDialog(true, request);
  return CallOnGuiThread(
      this, [this, request] { return ShowFileDialog(true, request); },
      std::optional<std::wstring>());
}

std::optional<std::wstring> QtUiServices::OpenFileName(const FileDialogRequest& request) {
  if (OnGuiThread()) return ShowFileDialog(false, request);
  return CallOnGuiThread(
      this, [this, request] { return ShowFileDialog(false, request); },
      std::optional<std::wstring>());
}

bool QtUiServices::OpenWithDesktop(const std::wstring& urlOrPath) {
  const QString target = ToQString(urlOrPath);
  if (target.isEmpty()) return false;
  auto open = [target] {
    // A path opens as a local file; anything with a scheme as a URL.
    const QUrl url = target.contains(QStringLiteral("://")) ||
                             target.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive)
                         ? QUrl(target)
                         : QUrl::fromLocalFile(target);
    return url.isValid() && QDesktopServices::openUrl(url);
  };
  if (OnGuiThread()) return open();
  return CallOnGuiThread(this, open, false);
}

}  // namespace kestrune::platform_qt
