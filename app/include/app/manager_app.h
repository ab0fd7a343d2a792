// CManagerApp: the application object. Runs the start-up sequence, owns the
// main frame and the single-instance lock, and handles About, Help and Exit.
#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/main_frame.h"
#include "app/single_instance.h"
#include "platform_qt/command_table.h"

namespace kestrune::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitAlreadyRunning = 1;
inline constexpr int kExitFrameFailed = 2;

// Local-time file time (100 ns units since 1601) of the moment the system
// started: now less the whole seconds it has been running.
std::int64_t ComputeSystemStartTime();
// The same from given parts, for the arithmetic alone.
std::int64_t SystemStartTimeFrom(std::int64_t unixNowSeconds, std::int64_t nowNanoseconds,
                                 std::int64_t uptimeSeconds, std::int64_t utcOffsetSeconds);

// This program's own version record.
ctl::ProgramInfo BuildProgramInfo();

class CManagerApp final : public QObject, public platform_qt::CommandTarget {
  Q_OBJECT

 public:
  // `instanceName` tells programs apart for the single-instance lock; `quit`
  // ends the event loop (tests record it instead).
  CManagerApp(FrameServices services, QString instanceName = SingleInstance::DefaultName(),
              std::function<void()> quit = {});
  ~CManagerApp() override;

  // The executable whose data folder holds the language modules; none
  // (tests): the built-in texts.
  void SetExecutablePath(std::filesystem::path path) { executable_ = std::move(path); }
  // The start-up sequence; kExitOk when the program runs, else the exit code.
  int InitInstance();

  CMainFrame* MainFrame() const { return frame_.get(); }
  SingleInstance& Instance() { return instance_; }
  std::int64_t SystemStartTime() const { return systemStartTime_; }
  bool WizardFlag() const { return wizardFlag_; }

  // The exit command's work, at once (tests); the command itself queues it.
  // While a long step runs, the exit comes from the event loop once the step
  // has ended.
  void Exit();

 protected:
  bool HandleCommand(unsigned id) override;

 private:
  friend class AppCommands;
  void OnAppAbout();
  void OnHelp();
  void OnAppExit();
  void ExitWhenNoBoxWaits();

  FrameServices pending_;
  std::filesystem::path executable_;
  std::shared_ptr<platform::UiServices> ui_;
  std::wstring helpPath_;
  SingleInstance instance_;
  std::function<void()> quit_;
  std::unique_ptr<CMainFrame> frame_;
  std::int64_t systemStartTime_ = 0;
  // This platform reports the NT family with a major version of 5 or more.
  bool wizardFlag_ = true;
  bool exitQueued_ = false;
  bool exited_ = false;
};

}  // namespace kestrune::app
