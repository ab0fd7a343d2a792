// Answers the modal dialogs a test raises, from the event loop, so that a
// test never blocks on a box nobody sees.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace kestrune::platform_qt::testing {

// Polls every 10 ms until a modal widget of type T is up, then hands it to
// act (once). Gives up after about five seconds.
template <typename T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer();
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, act] {
    if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(modal);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

}  // namespace kestrune::platform_qt::testing
