#include "platform_qt/property_sheet.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "platform/recording_ui.h"
#include "resources/resource_ids.h"

namespace kestrune::platform_qt {
namespace {

using Log = std::vector<std::string>;

class Page : public CPropertyPage {
 public:
  Page(const char* name, Log& log, unsigned templateId = 0)
      : CPropertyPage(QString::fromLatin1(name), templateId), name_(name), log_(log) {
    auto* layout = new QVBoxLayout(this);
    edit = new QLineEdit(this);
    layout->addWidget(edit);
  }

  bool OnSetActive() override {
    log_.push_back(name_ + ".SetActive");
    CPropertyPage::OnSetActive();
    return acceptActivation;
  }
  bool OnKillActive() override {
    log_.push_back(name_ + ".KillActive");
    return CPropertyPage::OnKillActive();
  }
  void OnOK() override { log_.push_back(name_ + ".OK"); }
  void OnCancel() override { log_.push_back(name_ + ".Cancel"); }

  QLineEdit* edit = nullptr;
  std::wstring value = L"mail.example.com";
  int maxChars = 220;
  bool acceptActivation = true;

 protected:
  bool DoDataExchange(bool save) override {
    log_.push_back(name_ + (save ? ".Save" : ".Load"));
    return ExchangeText(save, edit, value, maxChars);
  }

 private:
  std::string name_;
  Log& log_;
};

class Sheet : public CPropertySheet {
 public:
  explicit Sheet(Log& log) : CPropertySheet(QStringLiteral("Configuration Menu")), log_(log) {}

 protected:
  void OnOK() override {
    log_.push_back("Sheet.OK");
    CPropertySheet::OnOK();
  }
  void OnCancel() override {
    log_.push_back("Sheet.Cancel");
    CPropertySheet::OnCancel();
  }

 private:
  Log& log_;
};

struct Fixture : ::testing::Test {
  Log log;
  platform::RecordingUi ui;
  Sheet sheet{log};
  Page* smtp = new Page("Smtp", log, 1018);
  Page* email = new Page("Email", log, 1019);
  Page* popup = new Page("Popup", log, 1024);

  Fixture() {
    sheet.SetUiServices(&ui);
    sheet.AddPage(smtp);
    sheet.AddPage(email);
    sheet.AddPage(popup);
  }
};

using PropertySheet = Fixture;

TEST_F(PropertySheet, ShowingActivatesTheStartPageAndLoadsIt) {
  EXPECT_EQ(sheet.ActiveIndex(), -1);
  sheet.show();
  EXPECT_EQ(sheet.ActivePage(), smtp);
  EXPECT_EQ(log, (Log{"Smtp.SetActive", "Smtp.Load"}));
  EXPECT_EQ(smtp->edit->text(), QStringLiteral("mail.example.com"));
  EXPECT_EQ(sheet.TabBar()->count(), 3);
  EXPECT_EQ(sheet.TabBar()->tabText(1), QStringLiteral("Email"));
  EXPECT_EQ(sheet.findChild<CPropertyPage*>(QStringLiteral("1019")), email);
}

TEST_F(PropertySheet, StartPageChosenBeforeShowing) {
  EXPECT_TRUE(sheet.SetActivePage(2));
  EXPECT_TRUE(log.empty());
  sheet.show();
  EXPECT_EQ(sheet.ActivePage(), popup);
  EXPECT_EQ(log, (Log{"Popup.SetActive", "Popup.Load"}));
}

TEST_F(PropertySheet, ChangingTabsLeavesTheOldPageFirst) {
  sheet.show();
  log.clear();
  sheet.TabBar()->setCurrentIndex(1);  // as a click on the tab
  EXPECT_EQ(sheet.ActivePage(), email);
  EXPECT_EQ(log, (Log{"Smtp.KillActive", "Smtp.Save", "Email.SetActive", "Email.Load"}));
}

TEST_F(PropertySheet, TooLongTextKeepsTheUserOnThePage) {
  sheet.show();
  smtp->edit->setText(QString(221, QLatin1Char('x')));
  // While the message is up, the tabs still show the page it is about.
  int tabDuringMessage = -1;
  ui.SetResponder([&](const platform::RecordedMessage&) -> std::optional<platform::MsgResult> {
    tabDuringMessage = sheet.TabBar()->currentIndex();
    return std::nullopt;
  });
  sheet.TabBar()->setCurrentIndex(2);
  EXPECT_EQ(tabDuringMessage, 0);
  EXPECT_EQ(sheet.ActivePage(), smtp);
  EXPECT_EQ(sheet.TabBar()->currentIndex(), 0);  // the tab went back too
  ASSERT_EQ(ui.MessageCount(), 1u);
  EXPECT_EQ(ui.LastMessage()->text, L"Please enter no more than 220 characters.");
  EXPECT_EQ(smtp->value, L"mail.example.com");  // the copy is untouched
  EXPECT_FALSE(popup->WasActivated());

  smtp->edit->setText(QString(220, QLatin1Char('x')));  // exactly the limit fits
  EXPECT_TRUE(sheet.SetActivePage(popup));
  EXPECT_EQ(smtp->value, std::wstring(220, L'x'));
}

TEST_F(PropertySheet, RefusedActivationReturnsToTheOldPage) {
  sheet.show();
  email->acceptActivation = false;
  log.clear();
  EXPECT_FALSE(sheet.SetActivePage(1));
  EXPECT_EQ(sheet.ActivePage(), smtp);
  EXPECT_EQ(sheet.TabBar()->currentIndex(), 0);
  EXPECT_EQ(log, (Log{"Smtp.KillActive", "Smtp.Save", "Email.SetActive", "Email.Load",
                      "Smtp.SetActive", "Smtp.Load"}));
}

TEST_F(PropertySheet, OkLeavesTheActivePageThenTellsEveryShownPage) {
  sheet.show();
  sheet.SetActivePage(2);
  log.clear();
  popup->edit->setText(QStringLiteral("new"));
  FindById<QPushButton>(&sheet, res::kIdOk)->click();
  // Email was never shown: its OnOK is not called.
  EXPECT_EQ(log, (Log{"Popup.KillActive", "Popup.Save", "Smtp.OK", "Popup.OK", "Sheet.OK"}));
  EXPECT_EQ(popup->value, L"new");
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
}

TEST_F(PropertySheet, OkWithAFailingPageDoesNothingElse) {
  sheet.show();
  smtp->edit->setText(QString(300, QLatin1Char('y')));
  log.clear();
  EXPECT_FALSE(sheet.PressOk());
  EXPECT_EQ(log, (Log{"Smtp.KillActive", "Smtp.Save"}));
  EXPECT_TRUE(sheet.isVisible());
}

TEST_F(PropertySheet, CancelAndEscapeWriteNothingBack) {
  sheet.show();
  smtp->edit->setText(QStringLiteral("typed"));
  log.clear();
  sheet.reject();  // Escape or the close box
  EXPECT_EQ(log, (Log{"Smtp.Cancel", "Sheet.Cancel"}));
  EXPECT_EQ(smtp->value, L"mail.example.com");
  EXPECT_EQ(sheet.result(), QDialog::Rejected);
}

TEST_F(PropertySheet, ApplyFollowsTheModifiedPages) {
  sheet.show();
  QPushButton* apply = sheet.Button(res::kIdApply);
  ASSERT_NE(apply, nullptr);
  EXPECT_FALSE(apply->isEnabled());
  smtp->SetModified();
  EXPECT_TRUE(apply->isEnabled());
  log.clear();
  EXPECT_TRUE(sheet.PressApply());
  EXPECT_EQ(log, (Log{"Smtp.KillActive", "Smtp.Save", "Smtp.OK"}));
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_FALSE(smtp->IsModified());
  EXPECT_TRUE(sheet.isVisible());
}

TEST(PropertySheetButtons, OkCancelSheetHasNoApply) {
  CPropertySheet sheet(QStringLiteral("Configuration Menu"), nullptr,
                       CPropertySheet::Buttons::OkCancel);
  EXPECT_EQ(sheet.Button(res::kIdApply), nullptr);
  EXPECT_NE(FindById<QPushButton>(&sheet, 1), nullptr);
  EXPECT_NE(FindById<QPushButton>(&sheet, 2), nullptr);
  EXPECT_EQ(FindById<QPushButton>(&sheet, 12321), nullptr);
  EXPECT_TRUE(sheet.PressOk());  // no pages: nothing to refuse
}

}  // namespace
}  // namespace kestrune::platform_qt
