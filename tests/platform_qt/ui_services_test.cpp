#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <thread>

#include "modal_helper.h"
#include "platform_qt/qt_ui_services.h"

namespace kestrune::platform_qt {
namespace {

using platform::FileDialogRequest;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using testing::WhenModal;

// Runs the event loop until done() or about five seconds have passed.
template <typename Done>
void SpinUntil(Done done) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done() && elapsed.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

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
    // Typed into the name field: selectFile() leaves a field that has the
    // focus alone, and when the window gets it is up to the platform.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name != nullptr) name->setText(QStringLiteral("copy"));
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

// A folder as the file dialogs meet it: the settings store, a log, a file
// without a name extension (whose type only its content could tell), and a
// watch that sees every file in it being opened.
class WatchedFolder {
 public:
  WatchedFolder() {
    for (const char* name : {"registry.db", "registry.db-journal", "errlgr.txt", "notes"}) {
      QFile file(dir_.filePath(QString::fromLatin1(name)));
      if (file.open(QIODevice::WriteOnly)) file.write("SQLite format 3\0 and more");
    }
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0) ::inotify_add_watch(watch_, dir_.path().toLocal8Bit().constData(), IN_OPEN);
  }
  ~WatchedFolder() {
    if (watch_ >= 0) ::close(watch_);
  }
  WatchedFolder(const WatchedFolder&) = delete;
  WatchedFolder& operator=(const WatchedFolder&) = delete;

  bool Ready() const { return dir_.isValid() && watch_ >= 0; }
  QString Path() const { return dir_.path(); }
  static constexpr int kFiles = 4;

  // The files in the folder opened since the last call (the folder itself,
  // which a listing reads, does not count), separated by spaces.
  std::string Opened() {
    QStringList names;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(watch_, buffer, sizeof buffer);
      if (got <= 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && (event->mask & IN_ISDIR) == 0) {
          names << QString::fromLocal8Bit(event->name);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return names.join(QLatin1Char(' ')).toStdString();
  }

 private:
  QTemporaryDir dir_;
  int watch_ = -1;
};

// Waits until the dialog's list holds every file of the folder, asking for
// what a view shows of each (name, size, type, date, icon).
int ListedFiles(QFileDialog* dialog, const QString& folder) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (model == nullptr) return -1;
  const QModelIndex parent = model->index(folder);
  SpinUntil([&] { return model->rowCount(parent) >= WatchedFolder::kFiles; });
  for (int row = 0; row < model->rowCount(parent); ++row) {
    for (int column = 0; column < model->columnCount(parent); ++column) {
      const QModelIndex index = model->index(row, column, parent);
      model->data(index, Qt::DisplayRole);
      model->data(index, Qt::DecorationRole);
    }
    if (model->index(row, 2, parent).data().toString().isEmpty()) return -1;  // type column
  }
  return model->rowCount(parent);
}

// Listing a folder must not open the files in it: a file dialog that guesses
// types from content blocks on files whose read waits (/proc/kmsg, typed in
// a save dialog, hung the program for good) and, closing the settings store,
// drops the process's locks on it. Both dialogs, the folder reached as the
// start folder and as a path typed into the name field.
TEST(QtUiServices, FileDialogsListFoldersWithoutOpeningTheirFiles) {
  struct Case {
    bool save;
    bool typed;
  };
  for (const Case c :
       {Case{true, false}, Case{true, true}, Case{false, false}, Case{false, true}}) {
    SCOPED_TRACE(std::string(c.save ? "save" : "open") + (c.typed ? ", typed" : ", start folder"));
    WatchedFolder folder;
    ASSERT_TRUE(folder.Ready());
    QTemporaryDir elsewhere;
    QtUiServices ui;
    FileDialogRequest request;
    request.title = L"Save Events";
    request.startFolder = ToWString(c.typed ? elsewhere.path() : folder.Path());
    bool ownWidgets = false;
    bool nameOnly = false;
    int listed = -1;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      ownWidgets = dialog->testOption(QFileDialog::DontUseNativeDialog);
      nameOnly = dynamic_cast<NameOnlyIconProvider*>(dialog->iconProvider()) != nullptr;
      if (c.typed) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name != nullptr) QTest::keyClicks(name, folder.Path() + QLatin1Char('/'));
      }
      listed = ListedFiles(dialog, folder.Path());
      static_cast<QDialog*>(dialog)->reject();
    });
    if (c.save) {
      EXPECT_FALSE(ui.SaveFileName(request).has_value());
    } else {
      EXPECT_FALSE(ui.OpenFileName(request).has_value());
    }
    EXPECT_TRUE(ownWidgets);
    EXPECT_TRUE(nameOnly);
    EXPECT_EQ(listed, WatchedFolder::kFiles) << "the test needs the folder listed";
    EXPECT_EQ(folder.Opened(), "");
  }
}

// Types and icons come from the names alone: a file is typed by its name's
// extension whatever it holds (this "notes" holds an SQLite header), without
// one it is a plain "File"; folders and special files keep the general kinds.
TEST(QtUiServices, NameOnlyIconsTypeFilesByTheirNames) {
  WatchedFolder folder;
  ASSERT_TRUE(folder.Ready());
  ASSERT_EQ(::mkfifo((folder.Path() + QStringLiteral("/pipe")).toLocal8Bit().constData(), 0600), 0);
  const QString text = QMimeDatabase()
                           .mimeTypeForFile(QStringLiteral("x.txt"), QMimeDatabase::MatchExtension)
                           .comment();
  QAbstractFileIconProvider qt;
  const QFileInfo folderInfo(folder.Path());
  const QFileInfo pipeInfo(folder.Path() + QStringLiteral("/pipe"));
  const struct {
    QFileInfo info;
    QString type;
  } kCases[] = {
      {QFileInfo(folder.Path() + QStringLiteral("/errlgr.txt")), text},
      {QFileInfo(folder.Path() + QStringLiteral("/notes")), QStringLiteral("File")},
      {folderInfo, qt.type(folderInfo)},
      {pipeInfo, qt.type(pipeInfo)},
  };
  NameOnlyIconProvider icons;
  for (const auto& c : kCases) {
    EXPECT_EQ(icons.type(c.info), c.type) << c.info.fileName().toStdString();
    icons.icon(c.info);
  }
  EXPECT_EQ(folder.Opened(), "");
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
