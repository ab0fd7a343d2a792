#include "app/send_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform_qt/qt_ui_services.h"

namespace kestrune::app {

namespace {

QLineEdit* MakeEdit(const std::wstring& text, const QString& name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(CSendConfigDlg::kMaxChars);
  // Longer settings are cut to what the edit takes.
  edit->setText(platform_qt::ToQString(text).left(CSendConfigDlg::kMaxChars));
  return edit;
}

}  // namespace

CSendConfigDlg::CSendConfigDlg(const std::wstring& server, const std::wstring& to,
                               const std::wstring& subject, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("CSendConfigDlg"));
  setWindowTitle(QStringLiteral("Send Configuration"));
  server_ = MakeEdit(server, QStringLiteral("smtp"), this);
  to_ = MakeEdit(to, QStringLiteral("to"), this);
  subject_ = MakeEdit(subject, QStringLiteral("subject"), this);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("SMTP:"), server_);
  form->addRow(QStringLiteral("To:"), to_);
  form->addRow(QStringLiteral("Subject:"), subject_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* send = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
  send->setObjectName(QStringLiteral("send"));
  send->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

std::wstring CSendConfigDlg::Server() const {
  return platform_qt::ToWString(server_->text());
}
std::wstring CSendConfigDlg::To() const {
  return platform_qt::ToWString(to_->text());
}
std::wstring CSendConfigDlg::Subject() const {
  return platform_qt::ToWString(subject_->text());
}

}  // namespace kestrune::app
