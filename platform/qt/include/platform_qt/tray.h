// The notification-area icon behind an interface, so that the program can be
// tested where no tray exists (offscreen, a bare X server).
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QSystemTrayIcon;
class QWidget;

namespace kestrune::platform_qt {

class TrayHost : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TrayHost() override = default;

  // Whether the desktop has a notification area at all.
  virtual bool Available() = 0;
  // Whether one may still appear (false where none ever can, as on the
  // offscreen platform): only then is it worth waiting for.
  virtual bool MayAppear() = 0;
  // Shows the icon with its tip; false when the desktop refused it.
  virtual bool Add(const QIcon& icon, const QString& tip) = 0;
  virtual void SetIcon(const QIcon& icon) = 0;
  virtual void SetTip(const QString& tip) = 0;
  virtual void Remove() = 0;
  // Whether `target` (a widget or a window) is the icon itself, where the
  // desktop's notification area lends the program a window for it: the
  // clicks there are the icon's, not the program's windows' (the splash lets
  // them through).
  virtual bool IsIconTarget(const QObject* target) const {
    static_cast<void>(target);
    return false;
  }

 signals:
  // The left button was released over the icon (a click).
  void LeftButtonReleased(QPoint screenPos);
  // The right button was pressed over the icon (the menu request).
  void RightButtonPressed(QPoint screenPos);
};

// The real notification area through QSystemTrayIcon. Double clicks, middle
// clicks and moves over the icon give no signal.
class SystemTrayHost final : public TrayHost {
  Q_OBJECT

 public:
  explicit SystemTrayHost(QObject* parent = nullptr);
  ~SystemTrayHost() override;

  bool Available() override;
  bool MayAppear() override;
  bool Add(const QIcon& icon, const QString& tip) override;
  void SetIcon(const QIcon& icon) override;
  void SetTip(const QString& tip) override;
  void Remove() override;
  bool IsIconTarget(const QObject* target) const override;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

// A tray for tests: records every call, is available unless told otherwise,
// and clicks when asked. Its icon is also a small window of its own that
// answers presses as the X11 notification area's icon does (a left press is
// the click, a right press the menu request), so that tests can press it with
// real mouse events.
class FakeTrayHost final : public TrayHost {
  Q_OBJECT

 public:
  enum class Call { Add, SetIcon, SetTip, Remove };

  explicit FakeTrayHost(QObject* parent = nullptr);
  ~FakeTrayHost() override;

  bool Available() override {
    ++availabilityLooks_;
    return available_;
  }
  bool MayAppear() override { return mayAppear_; }
  // Refused (false) when not available or when SetAddResult(false).
  bool Add(const QIcon& icon, const QString& tip) override;
  void SetIcon(const QIcon& icon) override;
  void SetTip(const QString& tip) override;
  void Remove() override;
  bool IsIconTarget(const QObject* target) const override;

  void SetAvailable(bool available) { available_ = available; }
  void SetMayAppear(bool mayAppear) { mayAppear_ = mayAppear; }
  // How often Available() was asked.
  int AvailabilityLooks() const { return availabilityLooks_; }
  void SetAddResult(bool accepted) { addResult_ = accepted; }
  // Runs inside Remove, before the icon goes: what the program has done by then.
  void SetOnRemove(std::function<void()> onRemove) { onRemove_ = std::move(onRemove); }
  void SimulateLeftClick(QPoint screenPos = {}) { emit LeftButtonReleased(screenPos); }
  void SimulateRightClick(QPoint screenPos = {}) { emit RightButtonPressed(screenPos); }

  bool Shown() const { return shown_; }  // added and not removed
  // The icon's window: shown while the icon is.
  QWidget* IconWidget() const;
  const QIcon& Icon() const { return icon_; }
  const QString& Tip() const { return tip_; }
  const std::vector<Call>& Calls() const { return calls_; }
  int CallCount(Call call) const;

 private:
  bool available_ = true;
  bool mayAppear_ = true;
  int availabilityLooks_ = 0;
  bool addResult_ = true;
  bool shown_ = false;
  QIcon icon_;
  QString tip_;
  std::vector<Call> calls_;
  std::function<void()> onRemove_;
  std::unique_ptr<QWidget> iconWidget_;
};

}  // namespace kestrune::platform_qt
