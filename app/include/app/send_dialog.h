// The "Send Configuration" dialog: server, recipients and subject of one
// report mail, prefilled from the settings and not saved. Declared by the form
// send_dialog.ui (template 1080; Send is 1, Cancel 2).
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <memory>
#include <string>

namespace Ui {
class CSendConfigDlg;
}

namespace kestrune::app {

class CSendConfigDlg final : public QDialog {
  Q_OBJECT

 public:
  // Server and subject longer than the edits take (99 characters) are cut;
  // the recipients are shown whole, however long.
  CSendConfigDlg(const std::wstring& server, const std::wstring& to, const std::wstring& subject,
                 QWidget* parent = nullptr);
  ~CSendConfigDlg() override;

  std::wstring Server() const;
  std::wstring To() const;
  std::wstring Subject() const;

  QLineEdit* ServerEdit() const;
  QLineEdit* ToEdit() const;
  QLineEdit* SubjectEdit() const;

 private:
  std::unique_ptr<Ui::CSendConfigDlg> ui_;
};

}  // namespace kestrune::app
