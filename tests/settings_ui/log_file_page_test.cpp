// The Log File page and OK's log switch: what happens to the log file, which
// file the logger's entries around each pause go into, and what is kept when
// a backup or a new file fails.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform_qt/qt_ui_services.h"
#include "settings_ui/log_file_control.h"
#include "sheet_rig.h"

namespace kestrune::test {
namespace {

using evt::LogEntryKind;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

constexpr int kLogFile = 4;

// A log file holding one line of text after its mark.
void WriteLog(const std::string& path, const std::string& ascii) {
  std::ofstream out(path, std::ios::binary);
  out.put(static_cast<char>(0xFF));
  out.put(static_cast<char>(0xFE));
  for (char c : ascii) {
    out.put(c);
    out.put('\0');
  }
}

std::wstring Wide(const std::string& text) {
  return platform::FromUtf8(text);
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(LogSwitch, OffThenOkEndsTheFileWithThePauseTakenEntryAndOnAgainAddsAResumedEntry) {
  SheetRig rig;
  rig.Open();
  rig.ShowPage(kLogFile);
  rig.Control<QRadioButton>(1413)->click();
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->LogFileEnabled(), L"FALSE");
  EXPECT_EQ(rig.StoredText(settings::kLogFileEnabledName), L"FALSE");
  EXPECT_FALSE(rig.logger->HoldsLogFile());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  const std::wstring off = LogText(rig.LogPath());
  EXPECT_TRUE(EndsWith(off, kPauseTaken)) << off;
  EXPECT_EQ(Count(off, kResumed), 1u);

  rig.Open();
  rig.ShowPage(kLogFile);
  EXPECT_TRUE(rig.Control<QRadioButton>(1413)->isChecked());
  EXPECT_FALSE(rig.Control<QLineEdit>(1387)->isEnabled());
  rig.Control<QRadioButton>(1418)->click();
  EXPECT_TRUE(rig.Control<QLineEdit>(1387)->isEnabled());
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 3));
  EXPECT_TRUE(rig.logger->HoldsLogFile());
  const std::wstring on = LogText(rig.LogPath());
  EXPECT_EQ(on.rfind(off, 0), 0u);
  EXPECT_TRUE(EndsWith(on, kResumed)) << on;
  EXPECT_EQ(Count(on, kPauseTaken), 1u);  // the second pause wrote nothing
  EXPECT_EQ(rig.StoredText(settings::kLogFileEnabledName), L"TRUE");
}

TEST(LogSwitch, AnUnchangedSwitchDoesNotTouchTheLogger) {
  SheetRig rig;
  rig.Open();
  rig.ShowPage(kLogFile);
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.CountOf(LogEntryKind::PauseTaken), 0u);
  EXPECT_TRUE(rig.logger->HoldsLogFile());
}

TEST(LogFileBrowse, AnExistingFileAnsweredNoKeepsItsEntriesYesEmptiesItCancelChangesNothing) {
  for (const MsgResult answer : {MsgResult::No, MsgResult::Yes, MsgResult::Cancel}) {
    SheetRig rig;
    const std::string other = rig.File("other.txt");
    WriteLog(other, "kept entry\r\n");
    rig.Open();
    rig.ShowPage(kLogFile);
    rig.ui->QueueFileAnswer(Wide(other));
    rig.ui->QueueAnswer(answer);
    rig.Control<QPushButton>(1399)->click();

    const auto dialog = rig.ui->FileDialogs().at(0);
    EXPECT_EQ(dialog.kind, platform::FileDialogKind::Open);
    EXPECT_EQ(dialog.request.title, L"Select path and file name");
    EXPECT_EQ(dialog.request.filter, L"Text File (*.txt)|*.txt||");
    EXPECT_EQ(dialog.request.defaultExtension, L"txt");
    EXPECT_EQ(dialog.request.defaultName, L"events.txt");
    EXPECT_EQ(dialog.request.startFolder, Wide(rig.dir.path().string()) + L"/");
    const auto question = rig.ui->Messages().at(0);
    EXPECT_EQ(question.text, Wide(other) +
                                 L" already exists.\nWould you like to purge it?\n\nClick YES to "
                                 L"purge the file.\nClick NO to append to end of the file.");
    EXPECT_EQ(question.caption, L"Select path and file name");
    EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(question.icon, MsgIcon::Question);

    if (answer == MsgResult::Cancel) {
      EXPECT_EQ(rig.settings->LogFilePath(), Wide(rig.LogPath()));
      EXPECT_EQ(rig.CountOf(LogEntryKind::PauseTaken), 0u);
      continue;
    }
    // Re-pointed and saved at once, whatever becomes of the dialog.
    EXPECT_EQ(rig.Control<QLineEdit>(1387)->text(), QStringLiteral("other.txt"));
    EXPECT_EQ(rig.settings->LogFileName(), L"other.txt");
    EXPECT_EQ(rig.StoredText(settings::kLogFileNameName), L"other.txt");
    EXPECT_EQ(rig.StoredText(settings::kLogFileLocationName), Wide(rig.dir.path().string()) + L"/");
    rig.PressCancel();
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
    EXPECT_EQ(rig.settings->LogFileName(), L"other.txt");
    // The pause-taken entry ends the old file, the resumed one goes into the new.
    EXPECT_TRUE(EndsWith(LogText(rig.LogPath()), kPauseTaken));
    const std::wstring now = LogText(other);
    EXPECT_EQ(now.rfind(L"kept entry\r\n", 0) == 0, answer == MsgResult::No) << now;
    EXPECT_EQ(Count(now, L"\r\n"), answer == MsgResult::No ? 2u : 1u) << now;
    EXPECT_TRUE(EndsWith(now, kResumed)) << now;
    EXPECT_TRUE(rig.logger->HoldsLogFile());
  }
}

TEST(LogFileBrowse, ANewFileIsMadeWithoutAskingAndOtherChoicesChangeNothing) {
  SheetRig rig;
  rig.Open();
  rig.ShowPage(kLogFile);
  const std::string fresh = rig.File("fresh.txt");
  rig.ui->QueueFileAnswer(Wide(fresh));
  rig.Control<QPushButton>(1399)->click();
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  EXPECT_EQ(Count(LogText(fresh), L"\r\n"), 1u);
  EXPECT_TRUE(EndsWith(LogText(fresh), kResumed));
  EXPECT_EQ(rig.settings->LogFilePath(), Wide(fresh));

  // Not a text file; a file that cannot be opened: the log stays where it is.
  rig.ui->QueueFileAnswer(Wide(rig.File("events.log")));
  rig.Control<QPushButton>(1399)->click();
  EXPECT_EQ(rig.ui->LastMessage()->text,
            Wide(rig.File("events.log")) + L" is not a text file.\nFile name not changed.");
  const std::wstring unreachable = Wide(rig.File("missing-folder/x.txt"));
  rig.ui->QueueFileAnswer(unreachable);
  rig.Control<QPushButton>(1399)->click();
  EXPECT_EQ(rig.ui->LastMessage()->text,
            unreachable + L" could not be opened as the log file.\nFile name not changed.");
  EXPECT_EQ(rig.ui->MessageCount(), 2u);
  EXPECT_EQ(rig.settings->LogFilePath(), Wide(fresh));
  EXPECT_EQ(rig.StoredText(settings::kLogFileNameName), L"fresh.txt");
  EXPECT_EQ(rig.Control<QLineEdit>(1387)->text(), QStringLiteral("fresh.txt"));
  EXPECT_TRUE(rig.logger->HoldsLogFile());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 3));
  EXPECT_EQ(Count(LogText(fresh), kResumed), 2u);
  EXPECT_FALSE(std::filesystem::exists(rig.File("missing-folder")));
}

TEST(LogFilePurge, YesWithTheSaveDialogCancelledStillEmptiesTheLogNoToo) {
  for (const MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
    SheetRig rig;
    rig.Open();
    rig.ShowPage(kLogFile);
    rig.ui->QueueAnswer(answer);
    rig.ui->QueueFileAnswer(std::nullopt);
    rig.Control<QPushButton>(1415)->click();
    const auto question = rig.ui->Messages().at(0);
    EXPECT_EQ(question.text, L"Do you want to save a copy of these events?");
    EXPECT_EQ(question.caption, L"Configuration Save Events");
    EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(question.icon, MsgIcon::Question);
    EXPECT_EQ(rig.ui->FileDialogs().size(), answer == MsgResult::Yes ? 1u : 0u);
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
    // Only the mark and the resumed entry are left.
    const std::wstring log = LogText(rig.LogPath());
    EXPECT_EQ(log.substr(log.find(L'\t') + 1), kResumed) << log;
    EXPECT_EQ(Count(log, L"\r\n"), 1u);
  }
}

TEST(LogFilePurge, TheBackupHoldsEveryEntryUpToThePauseAndCancelDoesNothing) {
  SheetRig rig;
  Bytes atPause;
  rig.afterEntry = [&](LogEntryKind kind) {
    if (kind == LogEntryKind::PauseTaken) atPause = ReadBytes(rig.LogPath());
  };
  rig.Open();
  rig.ShowPage(kLogFile);
  rig.ui->QueueAnswer(MsgResult::Cancel);
  rig.Control<QPushButton>(1415)->click();
  EXPECT_EQ(rig.CountOf(LogEntryKind::PauseTaken), 0u);
  EXPECT_TRUE(rig.ui->FileDialogs().empty());

  const std::string backup = rig.File("events.bak");
  { std::ofstream(backup) << "an older backup"; }
  rig.ui->QueueAnswer(MsgResult::Yes);
  rig.ui->QueueFileAnswer(Wide(backup));
  rig.Control<QPushButton>(1415)->click();
  const auto dialog = rig.ui->FileDialogs().at(0);
  EXPECT_EQ(dialog.kind, platform::FileDialogKind::Save);
  EXPECT_EQ(dialog.request.title, L"Save Events");
  EXPECT_EQ(dialog.request.filter, L"Backup File (*.bak)|*.bak||");
  EXPECT_EQ(dialog.request.defaultExtension, L"bak");
  EXPECT_EQ(dialog.request.defaultName, L"events.bak");
  EXPECT_EQ(dialog.request.startFolder, Wide(rig.dir.path().string()) + L"/");
  EXPECT_TRUE(dialog.request.overwritePrompt);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  ASSERT_FALSE(atPause.empty());
  EXPECT_EQ(ReadBytes(backup), atPause);
  EXPECT_TRUE(EndsWith(LogText(backup), kPauseTaken));
  EXPECT_EQ(Count(LogText(backup), kStarted), 1u);
  EXPECT_EQ(Count(LogText(rig.LogPath()), L"\r\n"), 1u);
  EXPECT_EQ(rig.ui->MessageCount(), 2u);  // the two questions
}

TEST(LogFilePurge, AFailedBackupEmptiesNothingAndGivesTheSystemsReason) {
  SheetRig rig;
  rig.Open();
  rig.ShowPage(kLogFile);
  rig.ui->QueueAnswer(MsgResult::Yes);
  rig.ui->QueueFileAnswer(Wide(rig.File("no-such-folder/events.bak")));
  rig.Control<QPushButton>(1415)->click();
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  const auto failure = rig.ui->LastMessage();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->text,
            L"Could not save events.\nNo such file or directory\nLog file not purged.");
  EXPECT_EQ(failure->caption, L"Save Events");
  EXPECT_EQ(failure->buttons, MsgButtons::Ok);
  EXPECT_EQ(failure->icon, MsgIcon::Information);
  const std::wstring log = LogText(rig.LogPath());
  EXPECT_EQ(Count(log, kStarted), 1u) << log;
  EXPECT_EQ(Count(log, kPauseTaken), 1u);
  EXPECT_TRUE(EndsWith(log, kResumed));
  EXPECT_TRUE(rig.logger->HoldsLogFile());
}

TEST(BackupCopy, ReplacesOnlyWhenWholeAndNeverCopiesAFileOntoItself) {
  ::kestrune::testing::TempDir dir;
  const std::string log = dir.File("events.txt");
  WriteLog(log, "entry\r\n");
  std::wstring error;
  EXPECT_FALSE(settings::CopyFileReplacing(Wide(log), Wide(log), error));
  EXPECT_EQ(error, L"File exists\n");
  EXPECT_EQ(LogText(log), L"entry\r\n");
  EXPECT_FALSE(
      settings::CopyFileReplacing(Wide(dir.File("none.txt")), Wide(dir.File("b.bak")), error));
  EXPECT_EQ(error, L"No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.bak")));
  ASSERT_TRUE(settings::CopyFileReplacing(Wide(log), Wide(dir.File("b.bak")), error));
  EXPECT_EQ(ReadBytes(dir.File("b.bak")), ReadBytes(log));
  // Nothing of the copy's own is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            2);
}

// Without a logger thread (it could not be made) or without a logger at all,
// the file and the settings change exactly as with one; there are just no
// entries.
TEST(WithoutALoggerThread, BrowsePurgeAndTheSwitchLeaveFileAndSettingsAgreeing) {
  for (const LoggerKind kind : {LoggerKind::NoThread, LoggerKind::None}) {
    SheetRig rig(kind);
    // A logger that could not start turned logging off (in memory).
    EXPECT_EQ(rig.settings->LogFileEnabled(), kind == LoggerKind::NoThread ? L"FALSE" : L"TRUE");
    rig.ui->ClearMessages();
    const std::string other = rig.File("other.txt");
    WriteLog(other, "old entry\r\n");
    rig.Open();
    rig.ShowPage(kLogFile);
    // Switched on (NoThread), or left on (None), for OK below; Browse and
    // Purge are offered only while it is on.
    rig.Control<QRadioButton>(1418)->click();
    rig.ui->QueueFileAnswer(Wide(other));
    rig.ui->QueueAnswer(MsgResult::Yes);
    rig.Control<QPushButton>(1399)->click();
    EXPECT_EQ(ReadBytes(other), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(rig.StoredText(settings::kLogFileNameName), L"other.txt");

    WriteLog(other, "another entry\r\n");
    const Bytes before = ReadBytes(other);
    rig.ui->QueueAnswer(MsgResult::Yes);
    rig.ui->QueueFileAnswer(Wide(rig.File("other.bak")));
    rig.Control<QPushButton>(1415)->click();
    EXPECT_EQ(ReadBytes(rig.File("other.bak")), before);
    EXPECT_EQ(ReadBytes(other), (Bytes{0xFF, 0xFE}));

    std::filesystem::remove(other);
    rig.PressOk();
    ASSERT_TRUE(rig.MenuGone());
    EXPECT_EQ(rig.StoredText(settings::kLogFileEnabledName), L"TRUE");
    EXPECT_EQ(rig.settings->LogFilePath(), Wide(other));
    if (kind == LoggerKind::NoThread) {
      // Opened again as the held file: it exists, with its mark.
      EXPECT_TRUE(rig.logger->HoldsLogFile());
      EXPECT_EQ(ReadBytes(other), (Bytes{0xFF, 0xFE}));
    } else {
      EXPECT_FALSE(std::filesystem::exists(other));  // unchanged switch: nothing opened
    }
    EXPECT_EQ(rig.ui->MessageCount(), 2u);  // the two questions, nothing else
  }
}

}  // namespace
}  // namespace kestrune::test
