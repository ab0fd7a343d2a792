// What the Configure command opens: the configuration sheet over the main
// frame's settings, logger, dialogs, sound and the computer's media folder.
#pragma once

#include <QWidget>
#include <functional>

#include "app/main_frame.h"

namespace kestrune::app {

// For FrameServices::makeConfigurationSheet. `frame` gives the running frame
// when the command comes (the services are filled before the frame exists);
// without one the sheet cannot be made.
std::function<QWidget*()> ConfigurationMenuFactory(std::function<CMainFrame*()> frame);

}  // namespace kestrune::app
