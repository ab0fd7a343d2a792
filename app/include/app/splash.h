// CSplashWindow: the logo shown while the program starts, from "logo.bmp" in
// the current folder or else the data folder (app/program_files.h). It goes
// away after two seconds or at the first key or mouse press anywhere in the
// program, which it swallows. Presses on the tray icon are not the program's
// windows' and pass untouched: the icon's own handling decides what a click
// there does to the splash.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kestrune::app {

class CSplashWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTimerMs = 2000;

  // Whether a press on this object is left alone (the tray icon's).
  using PassThrough = std::function<bool(const QObject*)>;

  // Null when the bitmap is missing or unreadable.
  static CSplashWindow* Create(const QString& bitmapPath, QWidget* owner,
                               PassThrough passThrough = {});
  ~CSplashWindow() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CSplashWindow(QPixmap pixmap, QWidget* owner, PassThrough passThrough);

  QPixmap pixmap_;
  PassThrough passThrough_;
  QTimer timer_;
};

}  // namespace kestrune::app
