#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "resources/strings.h"

namespace kestrune::app {

namespace {

const QColor kText(0, 0, 255);
const QColor kBackground(192, 192, 192);

QLabel* AddText(QVBoxLayout* layout, QWidget* parent, int id, const std::wstring& text) {
  auto* label = new QLabel(platform_qt::ToQString(text), parent);
  label->setObjectName(QString::number(id));
  label->setAlignment(Qt::AlignCenter);
  label->setAutoFillBackground(true);
  layout->addWidget(label);
  return label;
}

}  // namespace

CAboutBox::CAboutBox(const std::wstring& windowTitleName, const std::wstring& productDisplayName,
                     const ctl::ProgramInfo& program, const QCursor& linkCursor,
                     std::function<void(const std::wstring&)> open, QWidget* parent)
    : QDialog(parent), open_(std::move(open)) {
  setObjectName(QStringLiteral("CAboutBox"));
  setWindowTitle(platform_qt::ToQString(res::LoadString(IDS_ABOUT_PREFIX) + windowTitleName));

  QPalette colours = palette();
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    colours.setColor(role, kText);
  }
  for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
    colours.setColor(role, kBackground);
  }
  setPalette(colours);
  setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(this);
  AddText(layout, this, IDC_ABOUT_NAME, productDisplayName);
  AddText(layout, this, IDC_ABOUT_VERSION, program.productVersion);
  AddText(layout, this, IDC_ABOUT_COMPANY, program.companyName);
  AddText(layout, this, IDC_ABOUT_LEGAL, program.legalCopyright);
  link_ = AddText(layout, this, IDC_ABOUT_LINK, platform_qt::ToWString(kMakerWebAddress));
  QFont underlined = link_->font();
  underlined.setUnderline(true);
  link_->setFont(underlined);
  link_->setCursor(linkCursor);
  link_->installEventFilter(this);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName(QStringLiteral("1"));
  // The button is its bitmap, in every state, and takes the bitmap's size.
  const QPixmap image = platform_qt::LoadBitmap(QStringLiteral("ImageOk"));
  if (!image.isNull()) {
    ok->setText(QString());
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setIcon(QIcon(image));
    ok->setIconSize(image.size());
    ok->setFlat(true);
    ok->setFixedSize(image.size());
  }
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

QLabel* CAboutBox::Control(int id) const {
  return findChild<QLabel*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CAboutBox::ActivateLink() {
  if (open_) open_(platform_qt::ToWString(link_->text()));
}

bool CAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == link_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    ActivateLink();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrune::app
