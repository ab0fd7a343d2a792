// Forms: texts from the language module, windows that keep their captions
// whole, pages that take caption and template from their form, controls found
// by id whatever their names.
#include "platform_qt/forms.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <memory>

#include "platform_qt/command_table.h"
#include "platform_qt/property_sheet.h"
#include "resources/language_module.h"

namespace kestrune::platform_qt {
namespace {

// Sets a module for one test and puts the previous one back.
class ModuleScope {
 public:
  explicit ModuleScope(const char* text) : previous_(res::CurrentModule()) {
    res::SetModule(std::make_shared<const res::LanguageModule>(res::ParseLanguageModule(text)));
  }
  ~ModuleScope() { res::SetModule(previous_); }

 private:
  std::shared_ptr<const res::LanguageModule> previous_;
};

// What uic writes for a small form: names, template number, ids, texts.
struct TestForm {
  QLabel* nameLabel = nullptr;
  QPushButton* okButton = nullptr;
  QComboBox* levelBox = nullptr;

  void setupUi(QWidget* root) {
    if (root->objectName().isEmpty()) root->setObjectName(QStringLiteral("CTestDlg"));
    root->setWindowTitle(QStringLiteral("Test"));
    root->setProperty("templateId", QVariant(4242));
    auto* layout = new QVBoxLayout(root);
    nameLabel = new QLabel(QStringLiteral("Name:"), root);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    okButton = new QPushButton(QStringLiteral("OK"), root);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setProperty("commandId", QVariant(1));
    levelBox = new QComboBox(root);
    levelBox->setObjectName(QStringLiteral("levelBox"));
    levelBox->addItems({QStringLiteral("Off"), QStringLiteral("Errors")});
    layout->addWidget(nameLabel);
    layout->addWidget(okButton);
    layout->addWidget(levelBox);
  }
};

TEST(LocalizeForm, ModuleTextsReplaceTheFormsAndTheRestStays) {
  const ModuleScope german(
      "4242.windowTitle\tPr\xC3\xBC"
      "fung\n"
      "4242.nameLabel.text\tName:\\n(neu)\n"
      "4242.okButton.toolTip\tSchlie\xC3\x9F"
      "en\n"
      "4242.levelBox.item1\tFehler\n"
      "4242.levelBox.item7\tout of range\n"
      "4242.missing.text\tno such control\n"
      "4242.nameLabel.bogus\tno such property\n"
      "4242.okButton.default\tnot a text property\n"
      "4243.okButton.text\tanother template\n");
  QDialog dialog;
  TestForm form;
  SetUpForm(form, &dialog);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Pr\u00fcfung"));
  EXPECT_EQ(form.nameLabel->text(), QStringLiteral("Name:\n(neu)"));
  EXPECT_EQ(form.okButton->toolTip(), QStringLiteral("Schlie\u00dfen"));
  EXPECT_EQ(form.okButton->text(), QStringLiteral("OK"));
  EXPECT_EQ(form.levelBox->itemText(0), QStringLiteral("Off"));
  EXPECT_EQ(form.levelBox->itemText(1), QStringLiteral("Fehler"));
  EXPECT_EQ(form.levelBox->count(), 2);
  EXPECT_FALSE(form.nameLabel->property("bogus").isValid());
  EXPECT_FALSE(form.okButton->isDefault());
  // Controls are found by id and by their readable names alike.
  EXPECT_EQ(FindById<QPushButton>(&dialog, 1), form.okButton);
  EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), form.okButton);
  EXPECT_EQ(TemplateIdOf(&dialog), 4242u);
}

TEST(LocalizeForm, WithoutTemplateNumberNothingChanges) {
  const ModuleScope module("0.windowTitle\tzero\n");
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Plain"));
  LocalizeForm(&dialog);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Plain"));
  EXPECT_FALSE(TemplateIdOf(&dialog).has_value());
  LocalizeForm(nullptr);
}

TEST(SetCommandId, KeepsAReadableNameAndNamesTheNamelessByNumber) {
  QWidget window;
  auto* named = new QPushButton(&window);
  named->setObjectName(QStringLiteral("sendButton"));
  SetCommandId(named, 1);
  auto* nameless = new QPushButton(&window);
  SetCommandId(nameless, 2);
  EXPECT_EQ(named->objectName(), QStringLiteral("sendButton"));
  EXPECT_EQ(nameless->objectName(), QStringLiteral("2"));
  EXPECT_EQ(FindById<QPushButton>(&window, 1), named);
  EXPECT_EQ(FindById<QPushButton>(&window, 2), nameless);
}

TEST(CaptionMinimumWidth, GrowsWithTheCaptionAndLeavesRoomForTheFrame) {
  QFont bold = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  bold.setBold(true);
  const QString caption = QStringLiteral("Kestrune Event Notification");
  const int width = CaptionMinimumWidth(caption);
  EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(caption) + 4 * QFontMetrics(bold).height());
  EXPECT_GT(CaptionMinimumWidth(caption + caption), width);
  EXPECT_GT(CaptionMinimumWidth(QString()), 0);  // the buttons need room all the same
}

TEST(FitToTexts, CaptionAndLayoutSetTheMinimumAndLaterChangesRefit) {
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(QStringLiteral("x"), &dialog);
  layout->addWidget(label);
  dialog.setWindowTitle(QStringLiteral("A caption far wider than the one letter below it"));
  FitToTexts(&dialog);
  const int captionWidth = CaptionMinimumWidth(dialog.windowTitle());
  EXPECT_EQ(dialog.minimumWidth(), captionWidth);
  EXPECT_GE(dialog.width(), captionWidth);

  // A longer title set afterwards widens the window at once.
  dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(", and longer still"));
  EXPECT_EQ(dialog.minimumWidth(), CaptionMinimumWidth(dialog.windowTitle()));
  EXPECT_GE(dialog.width(), dialog.minimumWidth());

  // A text wider than the caption: the layout's need wins, once the layout has
  // taken the change.
  label->setText(QString(400, QLatin1Char('m')));
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_GE(dialog.minimumWidth(), label->sizeHint().width());
  EXPECT_GE(dialog.width(), label->sizeHint().width());
  EXPECT_GE(dialog.height(), dialog.minimumSizeHint().height());

  FitToTexts(&dialog);  // a second call installs nothing new
  EXPECT_EQ(dialog.findChildren<QObject*>(QStringLiteral("kestrune-text-fitter")).size(), 1);
  FitToTexts(nullptr);
}

class FormPage : public CPropertyPage {
 public:
  FormPage() { SetUpForm(form_); }

 private:
  TestForm form_;
};

TEST(CPropertyPage, CaptionAndTemplateComeFromTheLocalizedForm) {
  {
    FormPage page;
    EXPECT_EQ(page.Caption(), QStringLiteral("Test"));
    EXPECT_EQ(page.TemplateId(), 4242u);
    EXPECT_EQ(page.objectName(), QStringLiteral("CTestDlg"));
  }
  const ModuleScope module("4242.windowTitle\tProbe\n");
  CPropertySheet sheet(QStringLiteral("Sheet"));
  auto* page = new FormPage;
  sheet.AddPage(page);
  EXPECT_EQ(page->Caption(), QStringLiteral("Probe"));
  EXPECT_EQ(sheet.TabBar()->tabText(0), QStringLiteral("Probe"));
}

TEST(CPropertyPage, PagesWithoutFormKeepTheirTemplateFindable) {
  CPropertyPage page(QStringLiteral("Email"), 1019);
  EXPECT_EQ(TemplateIdOf(&page), 1019u);
  EXPECT_EQ(page.objectName(), QStringLiteral("1019"));
}

}  // namespace
}  // namespace kestrune::platform_qt
