// The "Send Configuration" dialog: server, recipients and subject of one
// report mail, prefilled from the settings and not saved.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

namespace kestrune::app {

class CSendConfigDlg final : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxChars = 99;

  CSendConfigDlg(const std::wstring& server, const std::wstring& to, const std::wstring& subject,
                 QWidget* parent = nullptr);

  std::wstring Server() const;
  std::wstring To() const;
  std::wstring Subject() const;

  QLineEdit* ServerEdit() const { return server_; }
  QLineEdit* ToEdit() const { return to_; }
  QLineEdit* SubjectEdit() const { return subject_; }

 private:
  QLineEdit* server_;
  QLineEdit* to_;
  QLineEdit* subject_;
};

}  // namespace kestrune::app
