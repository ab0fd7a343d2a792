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
  connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
  platform_qt::FitToTexts(this);
}

CEventPopupDlg::~CEventPopupDlg() = default;

void CEventPopupDlg::done(int result) {
  QDialog::done(result);
  if (closed_) QTimer::singleShot(0, this, closed_);
}

}  // namespace kestrune::app
