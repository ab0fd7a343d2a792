// The program's dialogs as forms: the English module holds exactly what the
// forms show, a language module reaches every text, and each window is wide
// enough for its caption.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "app/about_box.h"
#include "app/event_popup.h"
#include "app/send_dialog.h"
#include "platform_qt/command_table.h"
#include "platform_qt/forms.h"
#include "resources/language_module.h"

namespace kestrune::test {
namespace {

std::unique_ptr<QDialog> MakeAbout() {
  ctl::ProgramInfo program;
  program.productVersion = L"1.0.0";
  program.companyName = L"Brevalis";
  program.legalCopyright = L"Copyright";
  return std::make_unique<app::CAboutBox>(L"Kestrune", L"Kestrune", program, QCursor(),
                                          [](const std::wstring&) {});
}
std::unique_ptr<QDialog> MakePopup() {
  return std::make_unique<app::CEventPopupDlg>(nullptr);
}
std::unique_ptr<QDialog> MakeSend() {
  return std::make_unique<app::CSendConfigDlg>(L"mail", L"to", L"subject");
}

struct Dialog {
  unsigned templateId;
  std::function<std::unique_ptr<QDialog>()> make;
};
const Dialog kDialogs[] = {{1000, MakeAbout}, {1001, MakePopup}, {1080, MakeSend}};

QObject* Target(QDialog& dialog, const res::DialogText& entry) {
  if (entry.object.empty()) return &dialog;
  return dialog.findChild<QObject*>(QString::fromStdString(entry.object));
}

class ModuleScope {
 public:
  explicit ModuleScope(const std::string& text) : previous_(res::CurrentModule()) {
    res::SetModule(std::make_shared<const res::LanguageModule>(res::ParseLanguageModule(text)));
  }
  ~ModuleScope() { res::SetModule(previous_); }

 private:
  std::shared_ptr<const res::LanguageModule> previous_;
};

TEST(DialogForms, EnglishModuleHoldsWhatTheFormsShow) {
  const res::LanguageModule english = res::ParseLanguageModule(res::BuiltinDialogModuleText());
  EXPECT_EQ(english.skippedLines, 0u);
  for (const Dialog& kind : kDialogs) {
    auto dialog = kind.make();
    EXPECT_EQ(platform_qt::TemplateIdOf(dialog.get()), kind.templateId);
    ASSERT_EQ(english.dialogs.count(kind.templateId), 1u) << kind.templateId;
    for (const res::DialogText& entry : english.dialogs.at(kind.templateId)) {
      QObject* target = Target(*dialog, entry);
      ASSERT_NE(target, nullptr) << kind.templateId << " " << entry.object;
      QString shown = target->property(entry.property.c_str()).toString();
      // A button drawn as a bitmap keeps its text as its accessible name.
      if (shown.isEmpty() && entry.property == "text") {
        shown = target->property("accessibleName").toString();
      }
      EXPECT_EQ(shown.toStdWString(), entry.text) << kind.templateId << " " << entry.object;
    }
  }
  // Texts the program fills in are not the module's.
  EXPECT_EQ(english.dialogs.at(1000).size(), 1u);
  EXPECT_EQ(english.dialogs.at(1001).size(), 3u);
  EXPECT_EQ(english.dialogs.at(1080).size(), 6u);
}

TEST(DialogForms, LanguageModuleReachesEveryText) {
  // Every English entry, each text replaced by its key.
  std::string module;
  const res::LanguageModule english = res::ParseLanguageModule(res::BuiltinDialogModuleText());
  for (const auto& [id, texts] : english.dialogs) {
    for (const res::DialogText& entry : texts) {
      const std::string key = std::to_string(id) +
                              (entry.object.empty() ? "" : "." + entry.object) + "." +
                              entry.property;
      module += key + "\t[" + key + "]\n";
    }
  }
  const ModuleScope scope(module);
  for (const Dialog& kind : kDialogs) {
    auto dialog = kind.make();
    for (const res::DialogText& entry : english.dialogs.at(kind.templateId)) {
      QString shown = Target(*dialog, entry)->property(entry.property.c_str()).toString();
      if (shown.isEmpty() && entry.property == "text") {
        shown = Target(*dialog, entry)->property("accessibleName").toString();
      }
      EXPECT_TRUE(shown.startsWith(QStringLiteral("[%1").arg(kind.templateId)))
          << shown.toStdString();
    }
  }
}

TEST(DialogForms, CaptionsFitAndControlsCarryTheirIds) {
  for (const Dialog& kind : kDialogs) {
    auto dialog = kind.make();
    const int needed = platform_qt::CaptionMinimumWidth(dialog->windowTitle());
    EXPECT_GE(dialog->minimumWidth(), needed) << kind.templateId;
    EXPECT_GE(dialog->width(), needed) << kind.templateId;
    EXPECT_NE(platform_qt::FindById<QPushButton>(dialog.get(), 1), nullptr) << kind.templateId;
  }
  auto about = MakeAbout();
  for (unsigned id : {1422u, 1423u, 1424u, 1425u, 1426u}) {
    EXPECT_NE(platform_qt::FindById<QLabel>(about.get(), id), nullptr) << id;
  }
  EXPECT_NE(platform_qt::FindById<QPushButton>(MakeSend().get(), 2), nullptr);
}

TEST(DialogForms, PopupHasACaptionAndCloseBoxOnlyAndAFixedSize) {
  auto popup = MakePopup();
  popup->show();
  const Qt::WindowFlags flags = popup->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(popup->minimumSize(), popup->maximumSize());
  EXPECT_EQ(popup->size(), popup->minimumSize());
  EXPECT_GE(popup->width(), platform_qt::CaptionMinimumWidth(popup->windowTitle()));
}

}  // namespace
}  // namespace kestrune::test
