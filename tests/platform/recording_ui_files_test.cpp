#include <gtest/gtest.h>

#include "platform/console_ui.h"
#include "platform/recording_ui.h"

namespace kestrune::platform {
namespace {

TEST(RecordingUiFiles, DialogsAreRecordedAndAnsweredInOrder) {
  RecordingUi ui;
  FileDialogRequest request;
  request.title = L"Save Events";
  request.filter = L"Backup File (*.bak)|*.bak||";
  ui.QueueFileAnswer(L"/tmp/a.bak");
  ui.QueueFileAnswer(std::nullopt);  // a scripted cancel
  EXPECT_EQ(ui.SaveFileName(request), std::optional<std::wstring>(L"/tmp/a.bak"));
  EXPECT_EQ(ui.OpenFileName(request), std::nullopt);
  EXPECT_EQ(ui.OpenFileName(request), std::nullopt);  // script empty: cancelled
  const auto dialogs = ui.FileDialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[0].kind, FileDialogKind::Save);
  EXPECT_EQ(dialogs[0].request.title, L"Save Events");
  EXPECT_EQ(dialogs[0].answer, std::optional<std::wstring>(L"/tmp/a.bak"));
  EXPECT_EQ(dialogs[1].kind, FileDialogKind::Open);
}

TEST(RecordingUiFiles, ResponderComesBeforeTheScript) {
  RecordingUi ui;
  ui.QueueFileAnswer(L"/scripted.wav");
  ui.SetFileResponder([](const RecordedFileDialog& dialog) -> std::optional<std::wstring> {
    if (dialog.request.defaultExtension == L"txt") return L"/answered.txt";
    return std::nullopt;
  });
  FileDialogRequest text;
  text.defaultExtension = L"txt";
  FileDialogRequest wave;
  wave.defaultExtension = L"wav";
  EXPECT_EQ(ui.OpenFileName(text), std::optional<std::wstring>(L"/answered.txt"));
  EXPECT_EQ(ui.OpenFileName(wave), std::optional<std::wstring>(L"/scripted.wav"));
}

TEST(RecordingUiFiles, DesktopOpensAreKept) {
  RecordingUi ui;
  EXPECT_TRUE(ui.OpenWithDesktop(L"http://example.invalid/"));
  ui.SetOpenResult(false);
  EXPECT_FALSE(ui.OpenWithDesktop(L"/usr/bin/kestrune.html"));
  EXPECT_EQ(ui.OpenedWithDesktop(),
            (std::vector<std::wstring>{L"http://example.invalid/", L"/usr/bin/kestrune.html"}));
}

TEST(RecordingUiFiles, ImplementationsWithoutDialogsCancel) {
  ConsoleUi console;
  EXPECT_EQ(console.SaveFileName({}), std::nullopt);
  EXPECT_EQ(console.OpenFileName({}), std::nullopt);
  EXPECT_FALSE(console.OpenWithDesktop(L"http://example.invalid/"));
}

}  // namespace
}  // namespace kestrune::platform
