// The Configuration Menu: its pages, OK and Cancel, the address list, the
// level sliders and the wave file chooser.
#include "settings_ui/configuration_menu.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "settings_ui/prop_page_email_notification.h"
#include "sheet_rig.h"

namespace kestrune::test {
namespace {

using platform::MsgButtons;
using platform::MsgResult;
using platform_qt::ToQString;
using platform_qt::ToWString;

constexpr int kSmtp = 0;
constexpr int kNotification = 2;
constexpr int kEventLevel = 3;
constexpr int kLogFile = 4;
constexpr int kAudio = 5;
constexpr int kPopup = 6;

TEST(ConfigurationMenu, SevenPagesInTheirOrderEachWithItsCaptionTemplateAndInformation) {
  SheetRig rig(LoggerKind::None);
  settings::ConfigurationMenu& menu = rig.Open();
  EXPECT_EQ(menu.windowTitle(), QStringLiteral("Configuration Menu"));
  EXPECT_EQ(platform_qt::TemplateIdOf(&menu), 1017u);
  EXPECT_TRUE(menu.isVisible());
  EXPECT_FALSE(menu.isModal());
  EXPECT_EQ(rig.Control<QPushButton>(1)->text(), QStringLiteral("OK"));
  EXPECT_EQ(rig.Control<QPushButton>(2)->text(), QStringLiteral("Cancel"));

  const struct {
    unsigned templateId;
    const char* caption;
  } pages[] = {{1018, "SMTP"},     {1019, "E-mail"}, {1020, "Notification"}, {1022, "Event Level"},
               {1021, "Log File"}, {1023, "Audio"},  {1024, "Popup"}};
  platform_qt::CPropertySheet* sheet = menu.Sheet();
  ASSERT_EQ(sheet->PageCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(sheet->Page(i)->TemplateId(), pages[i].templateId);
    EXPECT_EQ(sheet->TabBar()->tabText(i), QString::fromLatin1(pages[i].caption));
    const auto* info = sheet->Page(i)->findChild<QLabel*>(QStringLiteral("infoLabel"));
    ASSERT_NE(info, nullptr) << pages[i].caption;
    EXPECT_GT(info->text().size(), 40) << pages[i].caption;
  }
  EXPECT_EQ(sheet->ActiveIndex(), kSmtp);
  // The sheet is part of the dialog, without buttons of its own.
  EXPECT_FALSE(sheet->isWindow());
  EXPECT_EQ(sheet->Button(1), nullptr);
}

TEST(ConfigurationMenu, OkAssignsTheCopiesAndSavesThemAndCancelWritesNothing) {
  for (const bool ok : {true, false}) {
    SheetRig rig(LoggerKind::None);
    rig.Open();
    const auto before = rig.settings->Get();
    rig.Control<QLineEdit>(1389)->setText(QStringLiteral("mail.example.org"));
    rig.ShowPage(1);
    rig.Control<QLineEdit>(1391)->setText(QStringLiteral("raid@example.org"));
    rig.Control<QLineEdit>(1395)->setText(QStringLiteral("Configuration"));
    rig.ShowPage(kPopup);
    rig.Control<QSlider>(1403)->setValue(3);
    // Left on the Popup page: OK reads it back itself.
    if (ok) {
      rig.PressOk();
    } else {
      rig.PressCancel();
    }
    ASSERT_TRUE(rig.MenuGone());
    const auto after = rig.settings->Get();
    if (!ok) {
      EXPECT_EQ(after, before);
      EXPECT_EQ(rig.StoredText(settings::kSmtpServerName), before.smtpServer);
      continue;
    }
    EXPECT_EQ(after.smtpServer, L"mail.example.org");
    EXPECT_EQ(after.defaultEmail, L"raid@example.org");
    EXPECT_EQ(after.emailSubject, L"Configuration");
    EXPECT_EQ(after.popupEventLevel, 3u);
    EXPECT_EQ(after.eventList, before.eventList);
    EXPECT_EQ(rig.StoredText(settings::kSmtpServerName), L"mail.example.org");
    EXPECT_EQ(rig.StoredText(settings::kDefaultEmailName), L"raid@example.org");
  }
}

// The SMTP page's port, security, account and CA file: the usual port
// follows the security, OK stores the values and the password (in a private
// file of its own, never in the store), Cancel nothing.
TEST(ConfigurationMenu, SmtpPageStoresTheAccountAndThePasswordApart) {
  for (const bool ok : {true, false}) {
    SheetRig rig(LoggerKind::None);
    rig.Open();
    auto* port = rig.Control<QSpinBox>(1470);
    auto* security = rig.Control<QComboBox>(1471);
    ASSERT_NE(port, nullptr);
    ASSERT_NE(security, nullptr);
    for (unsigned id : {1472u, 1473u, 1474u}) ASSERT_NE(rig.Control<QLineEdit>(id), nullptr) << id;
    EXPECT_EQ(port->value(), 25);
    EXPECT_EQ(security->currentIndex(), 0);
    EXPECT_EQ(rig.Control<QLineEdit>(1473)->echoMode(), QLineEdit::Password);
    // The usual port goes with the choice; a port of the user's own stays.
    const std::pair<int, int> choices[] = {{1, 587}, {2, 465}, {0, 25}};
    for (const auto& [index, expected] : choices) {
      security->setCurrentIndex(index);
      emit security->activated(index);
      EXPECT_EQ(port->value(), expected);
    }
    port->setValue(2525);
    security->setCurrentIndex(1);
    emit security->activated(1);
    EXPECT_EQ(port->value(), 2525);
    port->setValue(587);
    rig.Control<QLineEdit>(1472)->setText(QStringLiteral("raid@example.org"));
    rig.Control<QLineEdit>(1473)->setText(QStringLiteral("s3cret \u00e9"));
    rig.ui->QueueFileAnswer(L"/etc/ssl/lab-ca.pem");
    rig.Control<QPushButton>(1475)->click();
    EXPECT_EQ(rig.Control<QLineEdit>(1474)->text(), QStringLiteral("/etc/ssl/lab-ca.pem"));
    // Another page and back: what was typed stays.
    rig.ShowPage(1);
    rig.ShowPage(kSmtp);
    EXPECT_EQ(rig.Control<QLineEdit>(1473)->text(), QStringLiteral("s3cret \u00e9"));
    ok ? rig.PressOk() : rig.PressCancel();
    ASSERT_TRUE(rig.MenuGone());
    const auto after = rig.settings->Get();
    if (!ok) {
      EXPECT_EQ(after.smtpSecurity, L"None");
      EXPECT_FALSE(std::filesystem::exists(rig.File("smtp-password")));
      continue;
    }
    EXPECT_EQ(after.smtpPort, 587u);
    EXPECT_EQ(after.smtpSecurity, L"STARTTLS");
    EXPECT_EQ(after.smtpUser, L"raid@example.org");
    EXPECT_EQ(after.smtpCaFile, L"/etc/ssl/lab-ca.pem");
    EXPECT_EQ(rig.StoredText(settings::kSmtpSecurityName), L"STARTTLS");
    std::ifstream in(rig.File("smtp-password"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "s3cret \xc3\xa9");
    struct stat info {};
    ASSERT_EQ(::stat(rig.File("smtp-password").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // In no value of the store.
    std::vector<platform::RegValue> stored;
    rig.machine.Registry()->Values(rig.settings->Key(), stored);
    for (const auto& value : stored)
      EXPECT_EQ(platform::DecodeRegSz(value.data).find(L"s3cret"), std::wstring::npos);

    // Opened again: the password is not shown, only that one is stored; a
    // security the list does not know stays as it was; removing the user
    // removes the password.
    rig.settings->SetSmtpSecurity(L"Carrier pigeon");
    rig.Open();
    EXPECT_TRUE(rig.Control<QLineEdit>(1473)->text().isEmpty());
    EXPECT_EQ(rig.Control<QLineEdit>(1473)->placeholderText(),
              ToQString(res::LoadString(res::kStrSmtpPasswordStored)));
    EXPECT_EQ(rig.Control<QComboBox>(1471)->currentIndex(), -1);
    rig.Control<QLineEdit>(1472)->clear();
    rig.PressOk();
    ASSERT_TRUE(rig.MenuGone());
    EXPECT_EQ(rig.settings->SmtpSecurity(), L"Carrier pigeon");
    EXPECT_FALSE(std::filesystem::exists(rig.File("smtp-password")));
  }
}

// A password that cannot be stored is told, and everything else is saved.
TEST(ConfigurationMenu, APasswordThatCannotBeStoredIsToldAndTheRestIsSaved) {
  SheetRig rig(LoggerKind::None);
  // A folder where the password file would go: it cannot be replaced.
  std::filesystem::create_directories(rig.File("smtp-password") + "/taken");
  rig.Open();
  rig.Control<QLineEdit>(1389)->setText(QStringLiteral("mail.example.org"));
  rig.Control<QLineEdit>(1472)->setText(QStringLiteral("raid"));
  rig.Control<QLineEdit>(1473)->setText(QStringLiteral("Zq9-secret"));
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  const auto boxes = rig.ui->Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind(L"The SMTP password could not be stored in " +
                                    platform::FromUtf8(rig.File("smtp-password")) + L":\n",
                                0),
            0u)
      << platform::ToUtf8(boxes[0].text);
  EXPECT_EQ(boxes[0].text.find(L"Zq9-secret"), std::wstring::npos);
  EXPECT_EQ(rig.StoredText(settings::kSmtpServerName), L"mail.example.org");
  EXPECT_EQ(rig.StoredText(settings::kSmtpUserName), L"raid");
}

TEST(ConfigurationMenu, OkWithUnchangedPagesRewritesAllSeventeenValues) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  for (int i = 0; i < 7; ++i) rig.ShowPage(i);
  // Everything in the key replaced behind the program's back.
  platform::Registry& registry = *rig.machine.Registry();
  std::vector<platform::RegValue> stored;
  ASSERT_EQ(registry.Values(rig.settings->Key(), stored), platform::RegStatus::Ok);
  ASSERT_GE(stored.size(), 17u);
  for (const auto& value : stored) {
    if (value.type == platform::RegType::Dword) {
      registry.SetValue(rig.settings->Key(), value.name, value.type, platform::EncodeRegDword(9));
    } else {
      registry.SetValue(rig.settings->Key(), value.name, value.type,
                        platform::EncodeRegSz(L"tampered"));
    }
  }
  const auto memory = rig.settings->Get();
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->Get(), memory);
  settings::AppSettings reread(rig.machine.Registry(), rig.ui);
  reread.Load(L"TESTHOST", {});
  EXPECT_EQ(reread.Get(), memory);
}

TEST(ConfigurationMenu, TooLongTextKeepsTheUserOnThePageWithTheFrameworksMessage) {
  const struct {
    int page;
    unsigned edit;
    int most;
  } cases[] = {{kSmtp, 1389, 220},
               {1, 1391, 220},
               {1, 1395, 220},
               {kNotification, 1392, 220},
               {kLogFile, 1388, 260}};
  for (const auto& c : cases) {
    SheetRig rig(LoggerKind::None);
    rig.Open();
    rig.ShowPage(c.page);
    auto* edit = rig.Control<QLineEdit>(c.edit);
    edit->setText(QString(c.most + 1, QLatin1Char('x')));
    rig.ShowPage(c.page == kSmtp ? 1 : kSmtp);
    EXPECT_EQ(rig.menu->Sheet()->ActiveIndex(), c.page) << c.edit;
    rig.PressOk();
    EXPECT_FALSE(rig.MenuGone()) << c.edit;
    ASSERT_EQ(rig.ui->MessageCount(), 2u) << c.edit;
    EXPECT_EQ(rig.ui->LastMessage()->text,
              L"Please enter no more than " + std::to_wstring(c.most) + L" characters.");
    edit->setText(QString(c.most, QLatin1Char('y')));
    rig.PressOk();
    EXPECT_TRUE(rig.MenuGone()) << c.edit;
  }
}

TEST(AddressList, SplitAndJoinedAtSemicolonsExactlyAsWritten) {
  const struct {
    const wchar_t* stored;
    std::vector<std::wstring> rows;
    const wchar_t* rebuilt;
  } cases[] = {
      {L"", {}, L""},
      {L"a@x;", {L"a@x"}, L"a@x;"},
      {L"a@x;b@y", {L"a@x"}, L"a@x;"},  // a last piece without ";" is dropped
      {L"a@x;;b@y;", {L"a@x", L"", L"b@y"}, L"a@x;;b@y;"},
      {L"nobody", {}, L""},
      {L";", {L""}, L";"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings::SplitAddressList(c.stored), c.rows) << c.stored;
    EXPECT_EQ(settings::JoinAddressList(c.rows), c.rebuilt) << c.stored;
  }
}

std::vector<std::wstring> Rows(QTreeWidget* list) {
  std::vector<std::wstring> rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    rows.push_back(ToWString(list->topLevelItem(i)->text(0)));
  return rows;
}

TEST(AddressList, AddRefusesAnAddressDifferingOnlyInCaseAndRemoveNeedsASelection) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  rig.ShowPage(kNotification);
  auto* list = rig.Control<QTreeWidget>(1398);
  auto* edit = rig.Control<QLineEdit>(1393);
  EXPECT_EQ(edit->maxLength(), 220);
  EXPECT_EQ(list->columnCount(), 1);
  EXPECT_EQ(list->columnWidth(0), 190);
  EXPECT_EQ(Rows(list), (std::vector<std::wstring>{L"ops@example.com", L"Admin@Example.com"}));

  edit->setText(QStringLiteral("admin@EXAMPLE.com"));
  rig.Control<QPushButton>(1394)->click();
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text,
            L"This address already exist.\nAddress will not be added.");
  EXPECT_TRUE(edit->text().isEmpty());
  EXPECT_EQ(list->topLevelItemCount(), 2);

  edit->setText(QStringLiteral("new@example.com"));
  rig.Control<QPushButton>(1394)->click();
  EXPECT_EQ(Rows(list).back(), L"new@example.com");

  list->clearSelection();
  rig.Control<QPushButton>(1390)->click();
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Please select an item first.");
  EXPECT_EQ(list->topLevelItemCount(), 3);
  // Of several selected rows, the first goes.
  list->topLevelItem(2)->setSelected(true);
  list->topLevelItem(1)->setSelected(true);
  rig.Control<QPushButton>(1390)->click();
  EXPECT_EQ(Rows(list), (std::vector<std::wstring>{L"ops@example.com", L"new@example.com"}));

  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->EventList(), L"ops@example.com;new@example.com;");
}

TEST(AddressList, AnAddressThatWouldNotBeStoredWholeIsRefusedWhenAdded) {
  // "ops@example.com;Admin@Example.com;" holds 34 of the 219 units; an
  // address and its ";" may take 185 more.
  const struct {
    std::wstring address;
    bool added;
  } cases[] = {
      {std::wstring(184, L'a'), true},
      {std::wstring(185, L'b'), false},
      {std::wstring(183, L'c') + L"\U0001F600", false},  // two units
      {std::wstring(182, L'd') + L"\U0001F600", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address.size());
    SheetRig rig(LoggerKind::None);
    rig.Open();
    rig.ShowPage(kNotification);
    auto* edit = rig.Control<QLineEdit>(1393);
    edit->setText(ToQString(c.address));
    rig.Control<QPushButton>(1394)->click();
    EXPECT_EQ(Rows(rig.Control<QTreeWidget>(1398)).size(), c.added ? 3u : 2u);
    if (!c.added) {
      ASSERT_EQ(rig.ui->MessageCount(), 1u);
      EXPECT_EQ(rig.ui->LastMessage()->text,
                L"The list of addresses cannot hold this address.\nAddress will not be added.");
      EXPECT_EQ(ToWString(edit->text()), c.address);
    }
    rig.PressOk();
    ASSERT_TRUE(rig.MenuGone());
    // What the page showed is what was stored, every address whole.
    const std::wstring expected =
        L"ops@example.com;Admin@Example.com;" + (c.added ? c.address + L";" : L"");
    EXPECT_EQ(rig.settings->EventList(), expected);
    EXPECT_EQ(rig.StoredText(settings::kEventListName), expected);
  }
}

TEST(AddressList, EveryAddressRemovedStoresAnEmptyListAndOneTypedWithoutAddIsNotStored) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  rig.ShowPage(kNotification);
  auto* list = rig.Control<QTreeWidget>(1398);
  while (list->topLevelItemCount() > 0) {
    list->topLevelItem(0)->setSelected(true);
    rig.Control<QPushButton>(1390)->click();
  }
  rig.Control<QLineEdit>(1393)->setText(QStringLiteral("typed@example.com"));
  // Left and shown again: the list is rebuilt from the page's copy.
  rig.ShowPage(kSmtp);
  rig.ShowPage(kNotification);
  EXPECT_EQ(list->topLevelItemCount(), 0);
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->EventList(), L"");
  EXPECT_EQ(rig.StoredText(settings::kEventListName), L"");
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
}

TEST(AddressList, EnterInTheNewAddressAddsItEnterElsewhereIsOkEscapeIsCancel) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  rig.ShowPage(kNotification);
  auto* edit = rig.Control<QLineEdit>(1393);
  edit->setText(QStringLiteral("keys@example.com"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(Rows(rig.Control<QTreeWidget>(1398)).back(), L"keys@example.com");
  EXPECT_FALSE(rig.MenuGone());
  QTest::keyClick(rig.Control<QLineEdit>(1392), Qt::Key_Return);
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->EventList(), L"ops@example.com;Admin@Example.com;keys@example.com;");

  rig.Open();
  rig.Control<QLineEdit>(1389)->setText(QStringLiteral("dropped.example.com"));
  QTest::keyClick(rig.Control<QLineEdit>(1389), Qt::Key_Escape);
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->SmtpServer(), settings::kDefaultSmtpServer);
}

TEST(LevelPages, TheDescriptionFollowsTheSliderWhileItIsDragged) {
  const struct {
    int page;
    unsigned slider;
    unsigned text;
    std::array<const wchar_t*, 4> descriptions;
  } cases[] = {
      {kEventLevel,
       1396,
       1397,
       {L"Disabled - No event logs will be sent.",
        L"Informational - The following events will be sent:\n  - Informational\n  - Warnings\n"
        L"  - Errors",
        L"Warning - The following events will be sent:\n  - Warnings\n  - Errors",
        L"Errors - The following events will be sent:\n  - Errors"}},
      {kPopup,
       1403,
       1405,
       {L"Disabled - The popup window will not be displayed.",
        L"Informational - The popup window will be displayed for the following events:\n"
        L"  - Informational\n  - Warnings\n  - Errors",
        L"Warning - The popup window will be displayed for the following events:\n  - Warnings\n"
        L"  - Errors",
        L"Errors - The popup window will be displayed for the following events:\n  - Errors"}},
  };
  for (const auto& c : cases) {
    SheetRig rig(LoggerKind::None);
    auto values = rig.settings->Get();
    values.emailEventLevel = 2;
    values.popupEventLevel = 2;
    rig.settings->Set(values);
    rig.Open();
    rig.ShowPage(c.page);
    auto* slider = rig.Control<QSlider>(c.slider);
    auto* text = rig.Control<QLabel>(c.text);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 3);
    EXPECT_EQ(slider->value(), 2);
    EXPECT_EQ(ToWString(text->text()), c.descriptions[2]);
    slider->setSliderDown(true);
    for (int position : {3, 0, 1}) {
      slider->setSliderPosition(position);
      EXPECT_EQ(ToWString(text->text()), c.descriptions[static_cast<std::size_t>(position)]);
    }
    slider->setSliderDown(false);
    rig.PressOk();
    ASSERT_TRUE(rig.MenuGone());
    EXPECT_EQ(c.page == kPopup ? rig.settings->PopupEventLevel() : rig.settings->EmailEventLevel(),
              1u);
  }
}

TEST(AudioPage, AChosenWavePlaysOnceAndCancelKeepsTheOldValue) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  rig.ShowPage(kAudio);
  rig.ui->QueueFileAnswer(std::wstring(L"/sounds/chimes.wav"));
  rig.Control<QPushButton>(1404)->click();
  ASSERT_EQ(rig.ui->FileDialogs().size(), 1u);
  const platform::FileDialogRequest request = rig.ui->FileDialogs()[0].request;
  EXPECT_EQ(rig.ui->FileDialogs()[0].kind, platform::FileDialogKind::Open);
  EXPECT_EQ(request.title, L"Which wave file");
  EXPECT_EQ(request.filter, L"Wave Files (*.wav)|*.wav||");
  EXPECT_EQ(request.defaultExtension, L"wav");
  EXPECT_EQ(request.startFolder, L"/kestrune-sim/WINDOWS/Media");
  EXPECT_TRUE(request.mustExist);
  EXPECT_EQ(rig.sound->Played(), std::vector<std::wstring>{L"/sounds/chimes.wav"});
  EXPECT_EQ(rig.Control<QLineEdit>(1402)->text(), QStringLiteral("/sounds/chimes.wav"));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  rig.PressCancel();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->AudioWarning(), L"Disabled");
  EXPECT_EQ(rig.StoredText(settings::kAudioWarningName), L"Disabled");
}

TEST(AudioPage, OnlyWaveFilesAreTakenAFileThatDoesNotPlayIsTakenAndDisableSetsDisabled) {
  SheetRig rig(LoggerKind::None);
  rig.Open();
  rig.ShowPage(kAudio);
  rig.ui->QueueFileAnswer(std::wstring(L"/sounds/chimes.mp3"));
  rig.Control<QPushButton>(1401)->click();
  EXPECT_EQ(rig.ui->LastMessage()->text, L"/sounds/chimes.mp3 is not a wave file.");
  EXPECT_EQ(rig.Control<QLineEdit>(1400)->text(), QStringLiteral("Disabled"));
  EXPECT_EQ(rig.sound->Count(), 0u);

  rig.sound->SetResult(false);
  rig.ui->QueueFileAnswer(std::wstring(L"/sounds/ALARM.WAV"));
  rig.Control<QPushButton>(1408)->click();
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Error playing wave file /sounds/ALARM.WAV.");
  EXPECT_EQ(rig.Control<QLineEdit>(1406)->text(), QStringLiteral("/sounds/ALARM.WAV"));

  rig.ui->QueueFileAnswer(std::nullopt);
  rig.Control<QPushButton>(1401)->click();
  EXPECT_EQ(rig.ui->MessageCount(), 2u);

  rig.Control<QLineEdit>(1402)->setText(QStringLiteral("/sounds/typed.wav"));
  rig.Control<QPushButton>(1410)->click();
  rig.PressOk();
  ASSERT_TRUE(rig.MenuGone());
  EXPECT_EQ(rig.settings->AudioInformational(), L"Disabled");
  EXPECT_EQ(rig.settings->AudioWarning(), L"Disabled");
  EXPECT_EQ(rig.settings->AudioError(), L"/sounds/ALARM.WAV");
}

TEST(ConfigurationMenu, AWindowThatCannotBeMadeSaysSoAndGoes) {
  SheetRig rig(LoggerKind::None);
  settings::ConfigurationMenuServices services;
  services.dialogs = rig.ui.get();  // nothing to edit: no settings
  rig.menu = settings::MakeConfigurationMenu(services);
  ASSERT_NE(rig.menu, nullptr);
  rig.menu->show();
  EXPECT_FALSE(rig.menu->isVisible());
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Error creating Dialog");
  EXPECT_TRUE(rig.MenuGone());
}

}  // namespace
}  // namespace kestrune::test
