// The event popup, the report commands with their dialogs answered, the About
// box and the splash.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/about_box.h"
#include "app_rig.h"
#include "platform/text.h"
#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"

namespace kestrune::test {
namespace {

int PopupsOnScreen() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QStringLiteral("CEventPopupDlg") && widget->isVisible()) ++count;
  }
  return count;
}

// A scenario whose first poll finds `events` member errors waiting, and one
// more event ten seconds later.
sim::Scenario EventfulScenario(int events) {
  sim::Scenario scenario = QuietScenario();
  for (int i = 0; i < events; ++i) {
    scenario.timeline.push_back({0.0, 0, sim::MemberError{}});
  }
  scenario.timeline.push_back({10.0, 0, sim::MemberError{}});
  return scenario;
}

// Stored before start-up, as an earlier run or the configuration sheet would.
void StoreSetting(platform::Registry& registry, const std::wstring& name,
                  const std::vector<std::uint8_t>& data, platform::RegType type) {
  platform::RegKey key{};
  ASSERT_EQ(registry.CreateKey(settings::kSettingsKeyPath, settings::kKeyClass, key),
            platform::RegStatus::Ok);
  EXPECT_EQ(registry.SetValue(key, name, type, data), platform::RegStatus::Ok);
  registry.CloseKey(key);
}

// Every severity plays a sound, so the tests can count the events handled.
void SoundForEverySeverity(platform::Registry& registry) {
  for (const wchar_t* name : {L"Audio Informational", L"Audio Warning", L"Audio Error"}) {
    StoreSetting(registry, name, platform::EncodeRegSz(L"/sounds/event.wav"),
                 platform::RegType::Sz);
  }
}

std::filesystem::path TempFolder(const std::string& name) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("kestrune-app-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring FromUtf16Le(const std::string& bytes) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

TEST(EventPopup, ManyEventsShowOnePopupAndOkMakesRoomForAFreshOne) {
  AppRig rig(EventfulScenario(3));
  SoundForEverySeverity(*rig.registry);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Poll());
  // Each of the three events asks for the popup; one is shown.
  ASSERT_TRUE(SpinUntil([&] { return rig.sound->Played().size() >= 3; }));
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
  QApplication::processEvents();
  EXPECT_EQ(PopupsOnScreen(), 1);
  QPointer<app::CEventPopupDlg> first = rig.Frame().Popup();
  // Shown in the middle of the screen.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((first->frameGeometry().center() - screen.center()).manhattanLength(), 40);
  EXPECT_EQ(first->windowTitle(), QStringLiteral("Kestrune Event Notification"));
  ASSERT_NE(first->findChild<QLabel*>(QStringLiteral("noticeLabel")), nullptr);
  EXPECT_EQ(first->findChild<QLabel*>(QStringLiteral("noticeLabel"))->text(),
            QStringLiteral("Kestrune detected a new event."));

  // A further request while it is shown only raises it.
  rig.Frame().PostShowPopup();
  QApplication::processEvents();
  EXPECT_EQ(rig.Frame().Popup(), first.data());

  auto* ok = platform_qt::FindById<QPushButton>(first.data(), 1);
  ASSERT_NE(ok, nullptr);
  ok->click();
  ASSERT_TRUE(SpinUntil([&] { return first.isNull(); }));
  EXPECT_EQ(rig.Frame().Popup(), nullptr);
  EXPECT_EQ(PopupsOnScreen(), 0);

  // The next event shows a fresh popup.
  rig.clock->Advance(std::chrono::seconds(11));
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
  EXPECT_TRUE(rig.Frame().Popup()->isVisible());
  EXPECT_EQ(PopupsOnScreen(), 1);
}

TEST(EventPopup, LevelZeroShowsNoPopup) {
  AppRig rig(EventfulScenario(2));
  SoundForEverySeverity(*rig.registry);
  StoreSetting(*rig.registry, L"Popup Event Level", platform::EncodeRegDword(0),
               platform::RegType::Dword);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(SpinUntil([&] { return rig.sound->Played().size() >= 2; }));
  QApplication::processEvents();
  EXPECT_EQ(rig.Frame().Popup(), nullptr);
}

TEST(ReportCommands, SaveWritesTheReportAsUtf16WithoutByteOrderMark) {
  const auto folder = TempFolder("save");
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  const auto target = folder / "config.txt";
  rig.ui->QueueFileAnswer(platform::FromUtf8(target.string()));
  EXPECT_TRUE(rig.Route(res::kCmdSaveToFile));

  const auto dialogs = rig.ui->FileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, platform::FileDialogKind::Save);
  EXPECT_EQ(dialogs[0].request.title, L"Save Configuration As");
  EXPECT_EQ(dialogs[0].request.defaultName, L"QV200CFG.txt");
  EXPECT_EQ(dialogs[0].request.defaultExtension, L"txt");
  EXPECT_EQ(dialogs[0].request.filter, L"Text Files (*.txt)|*.txt||");
  EXPECT_EQ(dialogs[0].request.startFolder, rig.Frame().Settings()->LogFileLocation());
  EXPECT_TRUE(dialogs[0].request.overwritePrompt);

  const std::string bytes = ReadBytes(target);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.size() % 2, 0u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\r\0\n\0", 4));
  const std::wstring text = FromUtf16Le(bytes);
  EXPECT_NE(text.find(L"Adapter 0 Information -"), std::wstring::npos);
  EXPECT_NE(text.find(L"Adapter 1 Information -"), std::wstring::npos);
  EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  // The report was built under the wait cursor.
  EXPECT_GT(rig.ui->WaitBegins(), 0);
  EXPECT_EQ(rig.ui->WaitDepth(), 0);
  std::filesystem::remove_all(folder);
}

TEST(ReportCommands, SaveCancelledWritesNothingAndAFailedCreateSaysSo) {
  const auto folder = TempFolder("save-fail");
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.ui->QueueFileAnswer(std::nullopt);
  EXPECT_TRUE(rig.Route(res::kCmdSaveToFileTool));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);

  rig.ui->QueueFileAnswer(platform::FromUtf8((folder / "missing" / "config.txt").string()));
  EXPECT_TRUE(rig.Route(res::kCmdSaveToFile));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Result file creation failure!!!");
  std::filesystem::remove_all(folder);
}

TEST(ReportCommands, CopyPutsTheReportOnTheClipboard) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_TRUE(rig.Route(res::kCmdCopyToClipboard));
  EXPECT_TRUE(rig.Route(res::kCmdCopyToClipboardTool));
  const auto texts = rig.ui->ClipboardTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind(L"\r\n", 0), 0u);
  EXPECT_NE(texts[0].find(L"Adapter 1 Information -"), std::wstring::npos);
  // A clipboard that cannot be opened: silently nothing.
  rig.ui->SetClipboardResult(false);
  EXPECT_TRUE(rig.Route(res::kCmdCopyToClipboard));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
}

TEST(ReportCommands, SendMailsTheReportWithTheEnteredValuesOnly) {
  LoopbackSmtp server({"220 lab.example ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                       "250 rcpt ok\r\n", "354 go ahead\r\n", "250 queued\r\n", "221 bye\r\n"});
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.mailPort = server.Port(); });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  settings::AppSettings& settings = *rig.Frame().Settings();
  const std::wstring savedServer = settings.SmtpServer();
  EXPECT_TRUE(rig.Route(res::kCmdSendByEmail));
  app::CSendConfigDlg* dialog = rig.Frame().SendDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Send Configuration"));
  auto* smtp = dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"));
  auto* to = dialog->findChild<QLineEdit*>(QStringLiteral("toEdit"));
  auto* subject = dialog->findChild<QLineEdit*>(QStringLiteral("subjectEdit"));
  ASSERT_TRUE(smtp && to && subject);
  // Prefilled from the settings.
  EXPECT_EQ(platform_qt::ToWString(smtp->text()), savedServer);
  EXPECT_EQ(platform_qt::ToWString(to->text()), settings.EventList());
  EXPECT_EQ(platform_qt::ToWString(subject->text()), settings.EmailSubject());
  // A second command only raises the open dialog.
  EXPECT_TRUE(rig.Route(res::kCmdSendByEmailTool));
  EXPECT_EQ(rig.Frame().SendDialog(), dialog);

  smtp->setText(QStringLiteral("127.0.0.1"));
  to->setText(QStringLiteral("ops@lab.example;"));
  subject->setText(QStringLiteral("Rack 4 configuration"));
  AppRig::Send(dialog);

  const auto& got = server.Received();
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], "helo 127.0.0.1\r\n");
  EXPECT_EQ(got[2], "rcpt To:<ops@lab.example>\r\n");
  EXPECT_NE(got[4].find("Subject: Rack 4 configuration\r\nMessage-ID: <"), std::string::npos);
  EXPECT_NE(got[4].find("Adapter 1 Information -"), std::string::npos);
  EXPECT_EQ(got[5], "quit\r\n");
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  EXPECT_EQ(rig.ui->WaitDepth(), 0);
  // The edits were for this mail only.
  EXPECT_EQ(settings.SmtpServer(), savedServer);
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().SendDialog() == nullptr; }));
}

TEST(ReportCommands, RefusedMailShowsTheStepErrorAndCancelSendsNothing) {
  LoopbackSmtp server({"554 go away\r\n"});
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.mailPort = server.Port(); });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);

  // Cancel first: nothing connects (the server would record the helo).
  EXPECT_TRUE(rig.Route(res::kCmdSendByEmail));
  ASSERT_NE(rig.Frame().SendDialog(), nullptr);
  platform_qt::FindById<QPushButton>(rig.Frame().SendDialog(), 2)->click();
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().SendDialog() == nullptr; }));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);

  EXPECT_TRUE(rig.Route(res::kCmdSendByEmail));
  app::CSendConfigDlg* dialog = rig.Frame().SendDialog();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"))->setText(QStringLiteral("127.0.0.1"));
  AppRig::Send(dialog);
  EXPECT_TRUE(server.Received().empty());
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"554 go away");
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Ostrevan Error");
  EXPECT_EQ(rig.ui->LastMessage()->icon, platform::MsgIcon::Information);
}

// Send goes as the event mail goes: with the SMTP page's security and
// account. STARTTLS that the server does not offer, or a user without
// encryption, fail the mail with their reason, nothing sent in the clear.
TEST(ReportCommands, SendGoesWithTheSettingsSecurity) {
  LoopbackSmtp server({"220 lab.example ready\r\n", "250 lab.example\r\n"});
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.mailPort = server.Port(); });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  settings::AppSettings& settings = *rig.Frame().Settings();
  struct Case {
    const wchar_t* security;
    const wchar_t* user;
    std::size_t received;  // lines the server got
    std::wstring error;
  };
  const Case cases[] = {
      {L"STARTTLS", L"", 1,
       L"The server 127.0.0.1 does not offer STARTTLS; the mail is not sent unencrypted.\n"},
      // Refused before any connection: the server still has the one line.
      {L"None", L"raid", 1,
       L"An SMTP user is set, but the connection is not encrypted: the password is not sent "
       L"in clear text. Choose STARTTLS or TLS as the security.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform_qt::ToQString(c.security).toStdString());
    settings.SetSmtpSecurity(c.security);
    settings.SetSmtpUser(c.user);
    rig.ui->ClearMessages();
    EXPECT_TRUE(rig.Route(res::kCmdSendByEmail));
    app::CSendConfigDlg* dialog = rig.Frame().SendDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"))
        ->setText(QStringLiteral("127.0.0.1"));
    AppRig::Send(dialog);
    ASSERT_EQ(rig.ui->MessageCount(), 1u);
    EXPECT_EQ(rig.ui->LastMessage()->text, c.error);
    EXPECT_EQ(rig.ui->LastMessage()->caption, L"Ostrevan Error");
    ASSERT_EQ(server.Received().size(), c.received);
    EXPECT_EQ(server.Received()[0].rfind("EHLO ", 0), 0u) << server.Received()[0];
    EXPECT_TRUE(SpinUntil([&] { return rig.Frame().SendDialog() == nullptr; }));
  }
}

TEST(SendDialog, FieldsTakeAtMost99CharactersButEveryPrefilledRecipientStays) {
  const std::wstring longText(150, L'x');
  // Eight addresses, 219 characters: the longest event list there can be.
  std::wstring recipients;
  for (int i = 0; i < 8; ++i) recipients += std::wstring(26, static_cast<wchar_t>(L'a' + i)) + L";";
  recipients += std::wstring(2, L'z') + L";";
  ASSERT_EQ(recipients.size(), 219u);
  const struct {
    const char* name;
    std::size_t shown;  // of the prefilled text
    int typed;          // of 250 typed characters
  } cases[] = {{"serverEdit", 99, 99}, {"toEdit", 219, 219}, {"subjectEdit", 99, 99}};
  app::CSendConfigDlg dialog(longText, recipients, longText);
  for (const auto& c : cases) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(c.name));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(static_cast<std::size_t>(edit->text().size()), c.shown) << c.name;
    edit->clear();
    edit->insert(QString(250, QLatin1Char('y')));
    EXPECT_EQ(edit->text().size(), c.typed) << c.name;
  }
  EXPECT_EQ(app::CSendConfigDlg(L"s", L"a@b;", L"t").ToEdit()->maxLength(), 99);
  dialog.ToEdit()->setText(platform_qt::ToQString(recipients));
  EXPECT_EQ(dialog.To(), recipients);
}

TEST(AboutBox, TextsTitleLinkAndOnlyOneAtATime) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_TRUE(rig.Route(res::kCmdAbout));
  app::CAboutBox* box = rig.Frame().AboutBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->windowTitle(), QStringLiteral("About Kestrune"));
  const ctl::ProgramInfo program = app::BuildProgramInfo();
  EXPECT_EQ(box->Control(1425)->text(), QStringLiteral("Kestrune"));
  EXPECT_EQ(platform_qt::ToWString(box->Control(1423)->text()), program.companyName);
  EXPECT_EQ(platform_qt::ToWString(box->Control(1424)->text()), program.productVersion);
  EXPECT_EQ(platform_qt::ToWString(box->Control(1422)->text()), program.legalCopyright);
  QLabel* link = box->Control(1426);
  EXPECT_EQ(link->text(), QString::fromLatin1(app::kMakerWebAddress));
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->cursor().shape(), rig.Frame().LinkCursor().shape());
  // Blue on light grey.
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(box->palette().color(QPalette::Window), QColor(192, 192, 192));

  box->ActivateLink();
  EXPECT_EQ(rig.ui->OpenedWithDesktop(),
            (std::vector<std::wstring>{platform::FromUtf8(app::kMakerWebAddress)}));

  auto* ok = platform_qt::FindById<QPushButton>(box, 1);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->size(), platform_qt::LoadBitmap(QStringLiteral("ImageOk")).size());
  EXPECT_FALSE(ok->icon().isNull());

  // The toolbar's About only raises the open box.
  EXPECT_TRUE(rig.Route(res::kCmdAboutTool));
  EXPECT_EQ(rig.Frame().AboutBox(), box);
  platform_qt::FindById<QPushButton>(box, 1)->click();
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().AboutBox() == nullptr; }));
}

TEST(AboutBox, WithoutRaidChipNamesNorvasse) {
  AppRig rig(StandardOnlyScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_TRUE(rig.Route(res::kCmdAbout));
  ASSERT_NE(rig.Frame().AboutBox(), nullptr);
  EXPECT_EQ(rig.Frame().AboutBox()->windowTitle(), QStringLiteral("About Norvasse"));
  EXPECT_EQ(rig.Frame().AboutBox()->Control(1425)->text(), QStringLiteral("Norvasse"));
}

TEST(Splash, ShownFromTheLogoAndSwallowsTheFirstKeyPress) {
  const auto folder = TempFolder("splash");
  const QString logo = QString::fromStdString((folder / "logo.bmp").string());
  QImage image(64, 32, QImage::Format_RGB32);
  image.fill(Qt::darkBlue);
  ASSERT_TRUE(image.save(logo, "BMP"));
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.logoPath = logo; });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  QPointer<app::CSplashWindow> splash = rig.Frame().Splash();
  ASSERT_FALSE(splash.isNull());
  EXPECT_TRUE(splash->isVisible());
  EXPECT_EQ(splash->size(), QSize(64, 32));

  // A key press anywhere in the program ends the splash and goes no further.
  QWidget other;
  class Counter : public QObject {
   public:
    int keys = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::KeyPress) ++keys;
      return false;
    }
  } counter;
  other.installEventFilter(&counter);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(&other, &press);
  EXPECT_EQ(counter.keys, 0);
  EXPECT_TRUE(SpinUntil([&] { return splash.isNull(); }));
  EXPECT_EQ(rig.Frame().Splash(), nullptr);
  // The next key press is an ordinary one.
  QApplication::sendEvent(&other, &press);
  EXPECT_EQ(counter.keys, 1);
  std::filesystem::remove_all(folder);
}

TEST(Splash, UnreadableLogoMeansNoSplash) {
  const auto folder = TempFolder("badlogo");
  std::ofstream(folder / "logo.bmp") << "not a bitmap";
  const QString logo = QString::fromStdString((folder / "logo.bmp").string());
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.logoPath = logo; });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_EQ(rig.Frame().Splash(), nullptr);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kestrune::test
