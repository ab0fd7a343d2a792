// CSplashWindow: the logo shown while the program starts, from "logo.bmp" in
// the current folder or else the data folder (app/program_files.h). It goes
// away after two seconds or at the first key or mouse press anywhere in the
// program, which it swallows.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace kestrune::app {

class CSplashWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTimerMs = 2000;

  // Null when the bitmap is missing or unreadable.
  static CSplashWindow* Create(const QString& bitmapPath, QWidget* owner);
  ~CSplashWindow() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CSplashWindow(QPixmap pixmap, QWidget* owner);

  QPixmap pixmap_;
  QTimer timer_;
};

}  // namespace kestrune::app
