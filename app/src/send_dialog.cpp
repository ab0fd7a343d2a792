#include "app/send_dialog.h"

#include <QPushButton>
#include <algorithm>

#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "ui_send_dialog.h"

namespace kestrune::app {

CSendConfigDlg::CSendConfigDlg(const std::wstring& server, const std::wstring& to,
                               const std::wstring& subject, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CSendConfigDlg>()) {
  platform_qt::SetUpForm(*ui_, this);
  // The edits cut what is longer than their maximum length, except the
  // recipients: the event list may be longer, and a recipient must not be
  // dropped unseen. The field then takes as much as the list.
  ui_->serverEdit->setText(platform_qt::ToQString(server));
  const QString recipients = platform_qt::ToQString(to);
  ui_->toEdit->setMaxLength(
      std::max(ui_->toEdit->maxLength(), static_cast<int>(recipients.size())));
  ui_->toEdit->setText(recipients);
  ui_->subjectEdit->setText(platform_qt::ToQString(subject));
  connect(ui_->sendButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  platform_qt::FitToTexts(this);
}

CSendConfigDlg::~CSendConfigDlg() = default;

std::wstring CSendConfigDlg::Server() const {
  return platform_qt::ToWString(ui_->serverEdit->text());
}
std::wstring CSendConfigDlg::To() const {
  return platform_qt::ToWString(ui_->toEdit->text());
}
std::wstring CSendConfigDlg::Subject() const {
  return platform_qt::ToWString(ui_->subjectEdit->text());
}

QLineEdit* CSendConfigDlg::ServerEdit() const {
  return ui_->serverEdit;
}
QLineEdit* CSendConfigDlg::ToEdit() const {
  return ui_->toEdit;
}
QLineEdit* CSendConfigDlg::SubjectEdit() const {
  return ui_->subjectEdit;
}

}  // namespace kestrune::app
