#include "platform_qt/tray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <algorithm>

namespace kestrune::platform_qt {

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

FakeTrayHost::FakeTrayHost(QObject* parent) : TrayHost(parent) {}

bool FakeTrayHost::Add(const QIcon& icon, const QString& tip) {
  calls_.push_back(Call::Add);
  if (!available_ || !addResult_) return false;
  icon_ = icon;
  tip_ = tip;
  shown_ = true;
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
  calls_.push_back(Call::Remove);
  shown_ = false;
}

int FakeTrayHost::CallCount(Call call) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

}  // namespace kestrune::platform_qt
