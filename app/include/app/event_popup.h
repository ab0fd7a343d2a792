// CEventPopupDlg: the modeless notice that the event logger asks for when an
// event reaches the popup level. "OK" closes it and tells the main frame, which
// deletes it.
#pragma once

#include <QDialog>
#include <functional>

namespace kestrune::app {

class CEventPopupDlg final : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kOkId = 1;

  // `closed` is the frame's UM_POPUPCLOSED; it is queued, never run inside
  // the dialog's own handler.
  explicit CEventPopupDlg(std::function<void()> closed);

 protected:
  void done(int result) override;

 private:
  std::function<void()> closed_;
};

}  // namespace kestrune::app
