// CAboutBox: the program's name, company, version and legal notice, and the
// maker's web address as a link. Declared by the form about_box.ui (template
// 1000); the controls carry their ids (1422 to 1426, OK 1).
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <memory>
#include <string>

#include "controller/model.h"

namespace Ui {
class CAboutBox;
}

namespace kestrune::app {

inline constexpr char kMakerWebAddress[] = "https://www.brevalis.example/";

class CAboutBox final : public QDialog {
  Q_OBJECT

 public:
  // `open` hands the address to the desktop; `linkCursor` is shown over it.
  CAboutBox(const std::wstring& windowTitleName, const std::wstring& productDisplayName,
            const ctl::ProgramInfo& program, const QCursor& linkCursor,
            std::function<void(const std::wstring&)> open, QWidget* parent = nullptr);
  ~CAboutBox() override;

  // The static text with the control id, or null.
  QLabel* Control(int id) const;
  // What a click on the link does.
  void ActivateLink();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::CAboutBox> ui_;
  std::function<void(const std::wstring&)> open_;
};

}  // namespace kestrune::app
