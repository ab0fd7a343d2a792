#include "app/event_popup.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrune::app {

CEventPopupDlg::CEventPopupDlg(std::function<void()> closed)
    : QDialog(nullptr), closed_(std::move(closed)) {
  setObjectName(QStringLiteral("CEventPopupDlg"));
  setWindowTitle(QStringLiteral("Kestrune Event Notification"));
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::StyledPanel);
  auto* frameLayout = new QVBoxLayout(frame);
  auto* text = new QLabel(QStringLiteral("Kestrune detected a new event."), frame);
  text->setObjectName(QStringLiteral("text"));
  frameLayout->addWidget(text);
  layout->addWidget(frame);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

void CEventPopupDlg::done(int result) {
  QDialog::done(result);
  if (closed_) QTimer::singleShot(0, this, closed_);
}

}  // namespace kestrune::app
