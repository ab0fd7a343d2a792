#include "app/splash.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace kestrune::app {

namespace {

bool IsPopup(const QObject* target) {
  if (target == nullptr) return false;
  if (target->isWidgetType())
    return static_cast<const QWidget*>(target)->window()->windowType() == Qt::Popup;
  if (target->isWindowType()) return static_cast<const QWindow*>(target)->type() == Qt::Popup;
  return false;
}

}  // namespace

CSplashWindow* CSplashWindow::Create(const QString& bitmapPath, QWidget* owner,
                                     PassThrough passThrough) {
  QPixmap pixmap;
  if (!pixmap.load(bitmapPath) || pixmap.isNull()) return nullptr;
  return new CSplashWindow(std::move(pixmap), owner, std::move(passThrough));
}

CSplashWindow::CSplashWindow(QPixmap pixmap, QWidget* owner, PassThrough passThrough)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint),
      pixmap_(std::move(pixmap)),
      passThrough_(std::move(passThrough)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(pixmap_.size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &QWidget::close);
  timer_.start(kTimerMs);
  qApp->installEventFilter(this);
  show();
}

CSplashWindow::~CSplashWindow() {
  if (qApp != nullptr) qApp->removeEventFilter(this);
}

void CSplashWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, pixmap_);
}

bool CSplashWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
      if (passThrough_ && passThrough_(watched)) return false;
      // A menu open meanwhile (the tray's) takes its own clicks.
      if (IsPopup(watched)) return false;
      // Only the first one ends the splash; the filter is gone after that.
      qApp->removeEventFilter(this);
      close();
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

}  // namespace kestrune::app
