// CAboutBox: the program's name, company, version and legal notice, and the
// maker's web address as a link.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>

#include "controller/model.h"

namespace kestrune::app {

inline constexpr char kMakerWebAddress[] = "https://www.brevalis.example/";

// Control numbers of the About box.
inline constexpr int IDC_ABOUT_LEGAL = 1422;
inline constexpr int IDC_ABOUT_COMPANY = 1423;
inline constexpr int IDC_ABOUT_VERSION = 1424;
inline constexpr int IDC_ABOUT_NAME = 1425;
inline constexpr int IDC_ABOUT_LINK = 1426;

class CAboutBox final : public QDialog {
  Q_OBJECT

 public:
  // `open` hands the address to the desktop; `linkCursor` is shown over it.
  CAboutBox(const std::wstring& windowTitleName, const std::wstring& productDisplayName,
            const ctl::ProgramInfo& program, const QCursor& linkCursor,
            std::function<void(const std::wstring&)> open, QWidget* parent = nullptr);

  // The static text with the control number, or null.
  QLabel* Control(int id) const;
  // What a click on the link does.
  void ActivateLink();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* link_ = nullptr;
  std::function<void(const std::wstring&)> open_;
};

}  // namespace kestrune::app
