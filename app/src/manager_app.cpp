#include "app/manager_app.h"

#include <time.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/filetime.h"
#include "platform/text.h"
#include "platform_qt/busy_wait_box.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/language_module.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0.0.0"
#endif

namespace kestrune::app {

namespace {
constexpr std::int64_t kFileTimeEpochOffset = platform::kFiletimeOfUnixEpoch;
constexpr std::int64_t kUnitsPerSecond = platform::kFiletimeTicksPerSecond;
}  // namespace

std::int64_t SystemStartTimeFrom(std::int64_t unixNowSeconds, std::int64_t nowNanoseconds,
                                 std::int64_t uptimeSeconds, std::int64_t utcOffsetSeconds) {
  const std::int64_t nowUtc =
      unixNowSeconds * kUnitsPerSecond + nowNanoseconds / 100 + kFileTimeEpochOffset;
  return nowUtc - uptimeSeconds * kUnitsPerSecond + utcOffsetSeconds * kUnitsPerSecond;
}

std::int64_t ComputeSystemStartTime() {
  timespec now{};
  timespec boot{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (::clock_gettime(CLOCK_BOOTTIME, &boot) != 0) boot = {};
  tm local{};
  const time_t seconds = now.tv_sec;
  ::localtime_r(&seconds, &local);
  return SystemStartTimeFrom(now.tv_sec, now.tv_nsec, boot.tv_sec, local.tm_gmtoff);
}

ctl::ProgramInfo BuildProgramInfo() {
  ctl::ProgramInfo info;
  info.productName = L"Kestrune";
  info.companyName = L"Brevalis";
  info.productVersion = platform::FromUtf8(KESTRUNE_VERSION);
  info.legalCopyright = L"Copyright (C) 2026 Brevalis";
  return info;
}

// The application's message table: what no window handled.
class AppCommands {
 public:
  static bool Dispatch(CManagerApp& app, unsigned id) { return kTable.Dispatch(app, id); }

 private:
  static inline const platform_qt::CommandTable<CManagerApp> kTable = {
      {res::kCmdAbout, &CManagerApp::OnAppAbout}, {res::kCmdAboutTool, &CManagerApp::OnAppAbout},
      {res::kCmdHelp, &CManagerApp::OnHelp},      {res::kCmdHelpTool, &CManagerApp::OnHelp},
      {res::kCmdExit, &CManagerApp::OnAppExit},
  };
};

CManagerApp::CManagerApp(FrameServices services, QString instanceName, std::function<void()> quit)
    : pending_(std::move(services)),
      ui_(pending_.controller.ui),
      helpPath_(pending_.helpPath),
      instance_(std::move(instanceName)),
      quit_(std::move(quit)) {
  if (!quit_) quit_ = [] { QCoreApplication::quit(); };
}

CManagerApp::~CManagerApp() {
  if (frame_) frame_->Shutdown();
}

int CManagerApp::InitInstance() {
  // Texts first: every later step may show one.
  if (!executable_.empty()) res::ChooseLanguageModule(executable_, res::UserLanguageId());

  // One copy per user: a later one asks the first to come forward and ends.
  if (!instance_.Acquire()) {
    ui_->MessageBox(res::LoadString(res::kStrAlreadyRunning), res::LoadString(res::kStrAppTitle),
                    platform::MsgButtons::Ok, platform::MsgIcon::None);
    instance_.AskRunningToComeForward();
    return kExitAlreadyRunning;
  }

  systemStartTime_ = ComputeSystemStartTime();

  // There are no command-line options of the program's own, so the splash is
  // always wanted; sockets need no set-up here.
  frame_ = std::make_unique<CMainFrame>(std::move(pending_));
  frame_->SetNextCommandTarget(this);
  if (!frame_->Create(wizardFlag_)) {
    frame_->Shutdown();
    frame_.reset();
    return kExitFrameFailed;
  }
  connect(&instance_, &SingleInstance::comeForward, frame_.get(), &CMainFrame::ComeForward);
  return kExitOk;
}

bool CManagerApp::HandleCommand(unsigned id) {
  return AppCommands::Dispatch(*this, id);
}

void CManagerApp::OnAppAbout() {
  if (frame_) frame_->OpenAboutBox();
}

void CManagerApp::OnHelp() {
  ui_->OpenWithDesktop(helpPath_);
}

void CManagerApp::OnAppExit() {
  // The command comes from a menu item or button whose signal is still being
  // delivered; the windows that own it are destroyed once control is back in
  // the event loop, never inside that signal.
  if (exitQueued_) return;
  exitQueued_ = true;
  QMetaObject::invokeMethod(this, &CManagerApp::ExitWhenNoBoxWaits, Qt::QueuedConnection);
}

void CManagerApp::ExitWhenNoBoxWaits() {
  // A box waiting for an answer has its caller (a window's handler) on the
  // stack below: the box is closed, and the exit comes once that caller has
  // returned to the loop.
  if (platform_qt::WaitingBoxes() > 0) {
    platform_qt::CloseWaitingBoxes();
    QMetaObject::invokeMethod(this, &CManagerApp::ExitWhenNoBoxWaits, Qt::QueuedConnection);
    return;
  }
  Exit();
}

void CManagerApp::Exit() {
  if (exited_) return;
  // A step waiting for the system (a re-enumeration, the report mail) uses
  // what the shutdown releases: it is asked to stop where it can, and the
  // exit comes once it has ended (and any box it raised is closed). Its wait
  // box stays up meanwhile.
  if (platform_qt::RunningSteps() > 0) {
    platform_qt::AbandonRunningSteps(*this, [this] { ExitWhenNoBoxWaits(); });
    return;
  }
  exited_ = true;
  if (frame_) {
    // The configuration window first, then the frame's own order.
    if (QWidget* window = frame_->ConfigurationWindow()) window->close();
    frame_->Shutdown();
  }
  quit_();
}

}  // namespace kestrune::app
