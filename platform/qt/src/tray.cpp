#include "platform_qt/tray.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace kestrune::platform_qt {

namespace {

// The widget behind `target`: the widget itself, or the top-level widget
// whose window it is.
const QWidget* WidgetOf(const QObject* target) {
  if (target == nullptr) return nullptr;
  if (target->isWidgetType()) return static_cast<const QWidget*>(target);
  if (!target->isWindowType()) return nullptr;
  for (const QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowHandle() == target) return widget;
  }
  return nullptr;
}

// The program's modal windows (the wizard, the About box, message boxes, the
// wait box) block the input of every other window of the program, the
// icon's included, which would leave the icon dead while one is up. A window
// that is a modal window's transient is not blocked: the icon becomes one
// whenever a modal window would block it.
class OutOfModality final : public QObject {
 public:
  static constexpr char kName[] = "kestrune-out-of-modality";

  explicit OutOfModality(QWidget* icon) : QObject(icon), icon_(icon) {
    setObjectName(QLatin1String(kName));
    icon->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == icon_ && event->type() == QEvent::WindowBlocked) {
      QWindow* modal = QGuiApplication::modalWindow();
      QWindow* own = icon_->windowHandle();
      if (own != nullptr && modal != nullptr && modal != own) own->setTransientParent(modal);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget* icon_;
};

void KeepOutOfModality(QWidget* icon) {
  // The filter has no meta-object of its own, so it is found by name.
  if (icon == nullptr ||
      icon->findChild<QObject*>(QLatin1String(OutOfModality::kName), Qt::FindDirectChildrenOnly))
    return;
  new OutOfModality(icon);
}

// The icon of the tests' tray: a press acts as on the X11 notification
// area's icon.
class FakeIconWidget final : public QWidget {
 public:
  explicit FakeIconWidget(FakeTrayHost& tray) : QWidget(nullptr, Qt::Tool), tray_(tray) {
    setObjectName(QStringLiteral("fakeTrayIcon"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(22, 22);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    const QPoint at = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton) tray_.SimulateLeftClick(at);
    if (event->button() == Qt::RightButton) tray_.SimulateRightClick(at);
  }

 private:
  FakeTrayHost& tray_;
};

}  // namespace

SystemTrayHost::SystemTrayHost(QObject* parent) : TrayHost(parent) {}

SystemTrayHost::~SystemTrayHost() = default;

bool SystemTrayHost::Available() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool SystemTrayHost::MayAppear() {
  // Platforms without a desktop never get a notification area.
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
         platform != QLatin1String("minimalegl");
}

bool SystemTrayHost::Add(const QIcon& icon, const QString& tip) {
  if (!Available()) return false;
  if (!icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>();
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              // Trigger is the click (left release); Context the right press.
              // The position is the pointer's, as the tray reports none.
              if (reason == QSystemTrayIcon::Trigger) {
                emit LeftButtonReleased(QCursor::pos());
              } else if (reason == QSystemTrayIcon::Context) {
                emit RightButtonPressed(QCursor::pos());
              }
            });
  }
  icon_->setIcon(icon);
  icon_->setToolTip(tip);
  icon_->show();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (IsIconTarget(widget)) KeepOutOfModality(widget);
  }
  return icon_->isVisible();
}

void SystemTrayHost::SetIcon(const QIcon& icon) {
  if (icon_) icon_->setIcon(icon);
}

void SystemTrayHost::SetTip(const QString& tip) {
  if (icon_) icon_->setToolTip(tip);
}

void SystemTrayHost::Remove() {
  if (icon_) icon_->hide();
  icon_.reset();
}

bool SystemTrayHost::IsIconTarget(const QObject* target) const {
  // On a notification area of the X11 kind the icon is a small window that
  // Qt embeds there (its class is Qt's own); elsewhere the desktop draws the
  // icon and its clicks never reach the program's windows.
  const QWidget* widget = WidgetOf(target);
  return icon_ != nullptr && widget != nullptr && widget->inherits("QSystemTrayIconSys");
}

FakeTrayHost::FakeTrayHost(QObject* parent) : TrayHost(parent) {}

FakeTrayHost::~FakeTrayHost() = default;

bool FakeTrayHost::Add(const QIcon& icon, const QString& tip) {
  calls_.push_back(Call::Add);
  if (!available_ || !addResult_) return false;
  icon_ = icon;
  tip_ = tip;
  shown_ = true;
  if (!iconWidget_) iconWidget_ = std::make_unique<FakeIconWidget>(*this);
  KeepOutOfModality(iconWidget_.get());
  iconWidget_->show();
  return true;
}

void FakeTrayHost::SetIcon(const QIcon& icon) {
  calls_.push_back(Call::SetIcon);
  icon_ = icon;
}

void FakeTrayHost::SetTip(const QString& tip) {
  calls_.push_back(Call::SetTip);
  tip_ = tip;
}

void FakeTrayHost::Remove() {
  if (onRemove_) onRemove_();
  calls_.push_back(Call::Remove);
  shown_ = false;
  if (iconWidget_) iconWidget_->hide();
}

bool FakeTrayHost::IsIconTarget(const QObject* target) const {
  const QWidget* widget = WidgetOf(target);
  return widget != nullptr && widget == iconWidget_.get();
}

QWidget* FakeTrayHost::IconWidget() const {
  return iconWidget_.get();
}

int FakeTrayHost::CallCount(Call call) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

}  // namespace kestrune::platform_qt
