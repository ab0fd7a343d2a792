#include "app/event_popup.h"

#include <QPushButton>
#include <QTimer>

#include "platform_qt/forms.h"
#include "ui_event_popup.h"

namespace kestrune::app {

CEventPopupDlg::CEventPopupDlg(std::function<void()> closed)
    : QDialog(nullptr), ui_(std::make_unique<Ui::CEventPopupDlg>()), closed_(std::move(closed)) {
  platform_qt::SetUpForm(*ui_, this);
  setModal(false);
  // A notice of a fixed size: caption and system menu with its close box,
  // nothing to minimise (it would never come back of itself) or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
  platform_qt::FitToTexts(this);
  setFixedSize(size());
}

CEventPopupDlg::~CEventPopupDlg() = default;

void CEventPopupDlg::done(int result) {
  QDialog::done(result);
  if (closed_) QTimer::singleShot(0, this, closed_);
}

}  // namespace kestrune::app
