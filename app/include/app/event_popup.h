// CEventPopupDlg: the modeless notice that the event logger asks for when an
// event reaches the popup level. "OK" closes it and tells the main frame, which
// deletes it. Declared by the form event_popup.ui (template 1001; OK is 1).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class CEventPopupDlg;
}

namespace kestrune::app {

class CEventPopupDlg final : public QDialog {
  Q_OBJECT

 public:
  // `closed` is the frame's UM_POPUPCLOSED; it is queued, never run inside
  // the dialog's own handler.
  explicit CEventPopupDlg(std::function<void()> closed);
  ~CEventPopupDlg() override;

 protected:
  void done(int result) override;

 private:
  std::unique_ptr<Ui::CEventPopupDlg> ui_;
  std::function<void()> closed_;
};

}  // namespace kestrune::app
