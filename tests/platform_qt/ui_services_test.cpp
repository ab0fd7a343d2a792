#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <thread>

#include "modal_helper.h"
#include "platform_qt/qt_ui_services.h"
#include "support/spin.h"

namespace kestrune::platform_qt {
namespace {

using platform::FileDialogRequest;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using testing::WhenModal;
using test::SpinUntil;
using test::WakeTheLoop;

TEST(ConvertFilter, WindowsPairsBecomeQtFilters) {
  EXPECT_EQ(ConvertFilter(L"Text File (*.txt)|*.txt||"), QStringLiteral("Text File (*.txt)"));
  EXPECT_EQ(ConvertFilter(L"Wave Files (*.wav)|*.wav|All Files (*.*)|*.*||"),
            QStringLiteral("Wave Files (*.wav);;All Files (*.*)"));
  // A description that does not show its patterns gets them; ';' separates.
  EXPECT_EQ(ConvertFilter(L"Logs|*.txt;*.bak||"), QStringLiteral("Logs (*.txt *.bak)"));
  EXPECT_EQ(ConvertFilter(L"Backup File (*.bak)|*.bak"), QStringLiteral("Backup File (*.bak)"));
}

TEST(ConvertFilter, MalformedFiltersGiveWhatCanBeUsed) {
  EXPECT_TRUE(ConvertFilter(L"").isEmpty());
  EXPECT_TRUE(ConvertFilter(L"||").isEmpty());
  EXPECT_TRUE(ConvertFilter(L"Dangling description").isEmpty());
  EXPECT_EQ(ConvertFilter(L"A (*.a)|*.a|Dangling"), QStringLiteral("A (*.a)"));
  EXPECT_EQ(ConvertFilter(L"Empty|;;|B|*.b||"), QStringLiteral("B (*.b)"));
}

TEST(QtUiServices, TextsSurviveTheConversion) {
  const std::wstring text = L"Gr\u00fc\u00dfe \U0001F600 \\ \t\n";
  EXPECT_EQ(ToWString(ToQString(text)), text);
}

TEST(QtUiServices, ClipboardRoundTrip) {
  QtUiServices ui;
  ASSERT_TRUE(ui.SetClipboardText(L"Adapter 1 Information -\r\n\u00e9"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QStringLiteral("Adapter 1 Information -\r\n\u00e9"));
}

TEST(QtUiServices, WaitCursorNestsAndIgnoresUnmatchedEnds) {
  QtUiServices ui;
  ui.EndWaitCursor();  // nothing open: no effect
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    platform::WaitCursor outer(ui);
    platform::WaitCursor inner(ui);
    EXPECT_EQ(ui.WaitDepth(), 2);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  }
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUiServices, DestroyingRestoresOpenWaitCursors) {
  {
    QtUiServices ui;
    ui.BeginWaitCursor();
    ui.BeginWaitCursor();
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUiServices, MessageBoxShowsCaptionIconButtonsAndAnswersTheClick) {
  QtUiServices ui;
  QString seenCaption;
  QString seenText;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  int buttonCount = 0;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    seenCaption = box->windowTitle();
    seenText = box->text();
    seenIcon = box->icon();
    buttonCount = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::No)->click();
  });
  const MsgResult answer = ui.MessageBox(L"Purge it?", L"Select path and file name",
                                         MsgButtons::YesNoCancel, MsgIcon::Question);
  EXPECT_EQ(answer, MsgResult::No);
  EXPECT_EQ(seenCaption, QStringLiteral("Select path and file name"));
  EXPECT_EQ(seenText, QStringLiteral("Purge it?"));
  EXPECT_EQ(seenIcon, QMessageBox::Question);
  EXPECT_EQ(buttonCount, 3);
}

TEST(QtUiServices, EscapeAnswersCancelWhereThereIsOne) {
  QtUiServices ui;
  WhenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
  EXPECT_EQ(ui.MessageBox(L"Retry?", L"", MsgButtons::RetryCancel, MsgIcon::Error),
            MsgResult::Cancel);
  WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Retry)->click(); });
  EXPECT_EQ(ui.MessageBox(L"Retry?", L"", MsgButtons::RetryCancel, MsgIcon::Error),
            MsgResult::Retry);
}

TEST(QtUiServices, OkBoxFromAWorkerDoesNotWaitForTheUser) {
  QtUiServices ui;
  std::atomic<bool> returned{false};
  MsgResult answer = MsgResult::Cancel;
  // The user-interface thread does not run its loop while the worker calls:
  // a box that waited would never return.
  std::thread worker([&] {
    answer = ui.MessageBox(L"Driver error", L"Get Events", MsgButtons::Ok, MsgIcon::Error);
    returned = true;
  });
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(answer, MsgResult::Ok);
  // The box shows once the loop runs.
  QString shown;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    shown = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  SpinUntil([&] { return !shown.isEmpty(); });
  EXPECT_EQ(shown, QStringLiteral("Driver error"));
}

TEST(QtUiServices, QuestionFromAWorkerWaitsForTheAnswer) {
  QtUiServices ui;
  std::atomic<bool> done{false};
  MsgResult answer = MsgResult::Cancel;
  WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  std::thread worker([&] {
    answer = ui.MessageBox(L"Continue?", L"", MsgButtons::YesNo, MsgIcon::Question);
    done = true;
    WakeTheLoop();
  });
  SpinUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(answer, MsgResult::Yes);
}

TEST(QtUiServices, WaitCursorFromAWorkerIsQueued) {
  QtUiServices ui;
  std::thread worker([&] { ui.BeginWaitCursor(); });
  worker.join();
  EXPECT_EQ(ui.WaitDepth(), 0);  // not yet: queued to the user-interface thread
  SpinUntil([&] { return ui.WaitDepth() == 1; });
  EXPECT_EQ(ui.WaitDepth(), 1);
  std::thread ender([&] { ui.EndWaitCursor(); });
  ender.join();
  SpinUntil([&] { return ui.WaitDepth() == 0; });
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUiServices, ClipboardFromAWorker) {
  QtUiServices ui;
  std::atomic<bool> done{false};
  bool ok = false;
  std::thread worker([&] {
    ok = ui.SetClipboardText(L"from the logger");
    done = true;
    WakeTheLoop();
  });
  SpinUntil([&] { return done.load(); });
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("from the logger"));
}

TEST(QtUiServices, SaveDialogTakesTheRequestAndAddsTheDefaultExtension) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QtUiServices ui;
  FileDialogRequest request;
  request.title = L"Save Events";
  request.filter = L"Backup File (*.bak)|*.bak||";
  request.defaultExtension = L"bak";
  request.startFolder = ToWString(dir.path());
  request.defaultName = L"errlgr.bak";
  QString title;
  QStringList filters;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    dialog->selectFile(dir.filePath(QStringLiteral("copy")));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
  });
  const auto chosen = ui.SaveFileName(request);
  EXPECT_EQ(title, QStringLiteral("Save Events"));
  EXPECT_EQ(filters, QStringList{QStringLiteral("Backup File (*.bak)")});
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, ToWString(dir.filePath(QStringLiteral("copy.bak"))));
}

TEST(QtUiServices, CancelledDialogAnswersNothing) {
  QtUiServices ui;
  FileDialogRequest request;
  request.title = L"Which wave file";
  request.filter = L"Wave Files (*.wav)|*.wav||";
  request.mustExist = true;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    mode = dialog->fileMode();
    static_cast<QDialog*>(dialog)->reject();
  });
  EXPECT_FALSE(ui.OpenFileName(request).has_value());
  EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void Catch(const QUrl& url) { urls << url; }
};

TEST(QtUiServices, OpenWithDesktopHandsTheUrlOver) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("kestrunetest"), &catcher, "Catch");
  QtUiServices ui;
  EXPECT_TRUE(ui.OpenWithDesktop(L"kestrunetest://maker/support"));
  EXPECT_FALSE(ui.OpenWithDesktop(L""));
  QDesktopServices::unsetUrlHandler(QStringLiteral("kestrunetest"));
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls.front(), QUrl(QStringLiteral("kestrunetest://maker/support")));
}

}  // namespace
}  // namespace kestrune::platform_qt

#include "ui_services_test.moc"
