#include "app/about_box.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>

#include "platform_qt/command_table.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_about_box.h"

namespace kestrune::app {

namespace {

const QColor kText(0, 0, 255);
const QColor kBackground(192, 192, 192);

}  // namespace

CAboutBox::CAboutBox(const std::wstring& windowTitleName, const std::wstring& productDisplayName,
                     const ctl::ProgramInfo& program, const QCursor& linkCursor,
                     std::function<void(const std::wstring&)> open, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CAboutBox>()), open_(std::move(open)) {
  platform_qt::SetUpForm(*ui_, this);
  setWindowTitle(platform_qt::ToQString(res::LoadString(res::kStrAboutPrefix) + windowTitleName));

  QPalette colours = palette();
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    colours.setColor(role, kText);
  }
  for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
    colours.setColor(role, kBackground);
  }
  setPalette(colours);
  setAutoFillBackground(true);

  ui_->nameLabel->setText(platform_qt::ToQString(productDisplayName));
  ui_->versionLabel->setText(platform_qt::ToQString(program.productVersion));
  ui_->companyLabel->setText(platform_qt::ToQString(program.companyName));
  ui_->legalLabel->setText(platform_qt::ToQString(program.legalCopyright));
  for (QLabel* label : findChildren<QLabel*>()) label->setAutoFillBackground(true);

  QLabel* link = ui_->linkLabel;
  link->setText(QString::fromLatin1(kMakerWebAddress));
  QFont underlined = link->font();
  underlined.setUnderline(true);
  link->setFont(underlined);
  link->setCursor(linkCursor);
  link->installEventFilter(this);

  // The button is its bitmap, in every state, and takes the bitmap's size; its
  // text stays its name for screen readers.
  QPushButton* ok = ui_->okButton;
  const QPixmap image = platform_qt::LoadBitmap(QStringLiteral("ImageOk"));
  if (!image.isNull()) {
    ok->setAccessibleName(ok->text());
    ok->setText(QString());
    ok->setIcon(QIcon(image));
    ok->setIconSize(image.size());
    ok->setFlat(true);
    ok->setFixedSize(image.size());
  }
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  platform_qt::FitToTexts(this);
}

CAboutBox::~CAboutBox() = default;

QLabel* CAboutBox::Control(int id) const {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (platform_qt::CommandIdOf(label) == static_cast<unsigned>(id)) return label;
  }
  return nullptr;
}

void CAboutBox::ActivateLink() {
  if (open_) open_(platform_qt::ToWString(ui_->linkLabel->text()));
}

bool CAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->linkLabel && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    ActivateLink();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrune::app
