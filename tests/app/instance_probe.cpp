#include "instance_probe.h"

#include <QApplication>
#include <cstdio>

#include "app_rig.h"
#include "platform/text.h"

namespace kestrune::test {

int RunInstanceProbe(const QString& instanceName) {
  AppRig rig(QuietScenario(), instanceName);
  const int code = rig.app->InitInstance();
  if (code != app::kExitOk) {
    for (const auto& message : rig.ui->Messages()) {
      std::printf("box: %s\n", platform::ToUtf8(message.text).c_str());
    }
    std::fflush(stdout);
    return code;
  }
  QObject::connect(&rig.app->Instance(), &app::SingleInstance::comeForward, [] {
    std::printf("come forward\n");
    std::fflush(stdout);
  });
  std::printf("running\n");
  std::fflush(stdout);
  return QApplication::exec();
}

}  // namespace kestrune::test
