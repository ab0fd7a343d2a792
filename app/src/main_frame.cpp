#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/about_box.h"
#include "app/event_popup.h"
#include "app/send_dialog.h"
#include "app/splash.h"
#include "controller/adapter_keys.h"
#include "platform/stop_signal.h"
#include "platform/text.h"
#include "platform_qt/busy_wait_box.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "report/report.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "settings/smtp_password.h"

namespace kestrune::app {

namespace {

// The tip takes 128 characters with its terminator.
constexpr qsizetype kMaxTipChars = 127;

// Brings a window to the foreground, out of the taskbar when minimised.
void Raise(QWidget* window) {
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  window->activateWindow();
}

// A modal window (the wizard, the About box, a message box) stays above the
// program's other windows and takes their input. The popup stands as its
// transient instead, so that it comes above it and its OK can be pressed.
// The window manager reads that when the window is mapped: a shown popup is
// shown anew.
void StandOverModalWindow(QWidget* popup) {
  QWidget* modal = QApplication::activeModalWidget();
  QWindow* over = modal != nullptr && modal != popup ? modal->windowHandle() : nullptr;
  popup->winId();
  QWindow* own = popup->windowHandle();
  if (own == nullptr || own->transientParent() == over) return;
  const bool shown = popup->isVisible();
  if (shown) popup->hide();
  own->setTransientParent(over);
  if (shown) popup->show();
}

// Deletes a window. No step runs by then, so none will come back to it.
void DeleteWindow(QWidget* window) {
  if (window == nullptr) return;
  window->hide();
  delete window;
}

}  // namespace

// The frame's message table. Configure, the reports and the wizard are the
// frame's; About, Help and Exit go on to the application object.
class FrameCommands {
 public:
  static bool Dispatch(CMainFrame& frame, unsigned id) { return kTable.Dispatch(frame, id); }

 private:
  static inline const platform_qt::CommandTable<CMainFrame> kTable = {
      {res::kCmdConfigure, &CMainFrame::OnConfigure},
      {res::kCmdConfigureTool, &CMainFrame::OnConfigure},
      {res::kCmdConfigureTray, &CMainFrame::OnConfigure},
      {res::kCmdSaveToFile, &CMainFrame::OnSaveToFile},
      {res::kCmdSaveToFileTool, &CMainFrame::OnSaveToFile},
      {res::kCmdCopyToClipboard, &CMainFrame::OnCopyToClipboard},
      {res::kCmdCopyToClipboardTool, &CMainFrame::OnCopyToClipboard},
      {res::kCmdSendByEmail, &CMainFrame::OnSendByEmail},
      {res::kCmdSendByEmailTool, &CMainFrame::OnSendByEmail},
      {res::kCmdRaidWizard, &CMainFrame::OnRaidWizard},
      {res::kCmdRaidWizardTool, &CMainFrame::OnRaidWizard},
      {res::kCmdRaidWizardTray, &CMainFrame::OnRaidWizard},
  };
};

CMainFrame::CMainFrame(FrameServices services)
    : QWidget(nullptr), services_(std::move(services)), tray_(services_.tray.get()) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(platform_qt::ToQString(res::LoadString(res::kStrFrameTitle)));
  connect(tray_, &platform_qt::TrayHost::LeftButtonReleased, this,
          [this](QPoint) { OnTrayLeftButtonUp(); });
  connect(tray_, &platform_qt::TrayHost::RightButtonPressed, this,
          [this](QPoint pos) { OnTrayRightButtonDown(pos); });
}

CMainFrame::~CMainFrame() {
  Shutdown();
}

bool CMainFrame::Create(bool wizardFlag) {
  wizardFlag_ = wizardFlag;
  if (!services_.makeConfigurationWindow)
    services_.makeConfigurationWindow = [this] { return MakeConfigurationWindow(); };
  io_ = std::make_unique<ctl::CControllerIo>(services_.controller);
  io_->SetObserver(this);

  // The version record: this build's own.
  io_->SetProgramInfo(services_.program);
  productDisplayName_ = services_.program.productName;

  if (services_.splashWanted && !splash_) {
    splash_ = CSplashWindow::Create(services_.logoPath, this, [this](const QObject* target) {
      return tray_->IsIconTarget(target);
    });
  }

  io_->ReadComputerInfo();
  io_->Discover();

  settings_ = std::make_unique<settings::AppSettings>(services_.controller.registry,
                                                      services_.controller.ui);
  settings_->Load(ctl::ComputerName(*io_), ctl::AdapterKeyOpener(*io_), [this] { CloseSplash(); });
  raidAdapter_ = settings_->HasRaidAdapter();
  if (!raidAdapter_) productDisplayName_ = res::LoadString(res::kStrNorvasse);
  windowTitleName_ = res::LoadString(raidAdapter_ ? res::kStrAppTitle : res::kStrNorvasse);

  normalIcon_ = platform_qt::LoadIcon(res::kIconTray);
  alertIcon_ = platform_qt::LoadIcon(res::kIconTrayAlert);
  if (!WaitForTray()) {
    CloseSplash();
    // Also on the terminal, for a start from a shell on such a desktop.
    const std::wstring& message = res::LoadString(res::kStrNoNotificationArea);
    std::fprintf(stderr, "kestrune: %s\n", platform::ToUtf8(message).c_str());
    Ui().MessageBox(message, res::LoadString(res::kStrAppTitle), platform::MsgButtons::Ok,
                    platform::MsgIcon::Error);
    return false;
  }
  const QString tip = platform_qt::ToQString(productDisplayName_).left(kMaxTipChars);
  if (!tray_->Add(normalIcon_, tip)) return false;
  trayAdded_ = true;
  alertShown_ = false;

  bool modelEmpty = false;
  {
    ctl::CControllerIo::Lock lock(*io_);
    modelEmpty = io_->Model().entryCount == 0;
  }
  if (!modelEmpty) {
    // The log file is made by the logger; its folder is made here.
    const std::string folder = platform::ToUtf8(settings_->LogFileLocation());
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    logger_ = std::make_unique<evt::EventLogger>(
        evt::EventLoggerServices{
            {io_.get(), settings_.get(), this, services_.sound, services_.controller.clock,
             services_.journal},
            services_.controller.ui,
            // Direct on this thread, queued from the logger's.
            [this] { QMetaObject::invokeMethod(this, [this] { CloseSplash(); }); }},
        services_.loggerOptions);
    // While this thread waits for the logger it cannot take the logger's calls.
    logger_->SetWaitingForThread([this](bool waiting) { loggerCalls_.SetClosed(waiting); });
    logger_->Start();
  }

  dropAllowedCursor_ = platform_qt::LoadCursor(res::kCursorDrop);
  noDropCursor_ = platform_qt::LoadCursor(res::kCursorNoDrop);
  linkCursor_ = platform_qt::LoadCursor(res::kCursorLink);
  return true;
}

bool CMainFrame::WaitForTray() {
  if (tray_->Available()) return true;
  if (!tray_->MayAppear() || !services_.controller.clock) return false;
  platform::Clock& clock = *services_.controller.clock;
  const auto deadline = clock.Now() + services_.trayWait;
  const auto poll = std::max(services_.trayPoll, std::chrono::milliseconds(1));
  for (auto now = clock.Now(); now < deadline; now = clock.Now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    const auto pause = std::min(poll, left);
    if (services_.trayPause) {
      services_.trayPause(pause);
    } else {
      // The splash keeps painting and closes on its timer meanwhile.
      QEventLoop loop;
      QTimer::singleShot(pause, &loop, &QEventLoop::quit);
      loop.exec();
    }
    if (tray_->Available()) return true;
  }
  return false;
}

void CMainFrame::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // A step that waits for the system (a re-enumeration, the report mail) uses
  // the model and the settings released below. Exit lets them end first; a
  // shutdown that does not come back to the event loop waits for them here.
  if (platform_qt::RunningSteps() > 0) platform_qt::WaitForRunningSteps();
  if (configWindow_) {
    DeleteWindow(configWindow_.data());
  }
  // The windows over the model, the settings and the logger go before them:
  // the wizard holds the model's controller, the configuration sheet the
  // settings and the logger's pause handshake.
  DeleteWindow(wizard_.data());
  DeleteWindow(configSheet_.data());
  viewExists_ = false;
  eventsPageShown_ = false;
  if (logger_) {
    // Waits without a time limit: the logger reads the model released below.
    logger_->Stop();
    logger_.reset();
  }
  if (io_) {
    io_->SetObserver(nullptr);
    io_.reset();
  }
  settings_.reset();
  if (popup_) {
    delete popup_.data();
  }
  delete splash_.data();
  delete aboutBox_.data();
  DeleteWindow(sendDialog_.data());
  // Exit may have been chosen in it: it goes once its signal has returned.
  DiscardTrayMenu();
  if (trayAdded_) {
    tray_->Remove();
    trayAdded_ = false;
  }
}

bool CMainFrame::HandleCommand(unsigned id) {
  return FrameCommands::Dispatch(*this, id);
}

// ---- windows kept once ---------------------------------------------------

void CMainFrame::CloseSplash() {
  if (splash_) splash_->close();
}

void CMainFrame::OpenSlot(QPointer<QWidget>& slot, const std::function<QWidget*()>& make,
                          unsigned failureTextId) {
  if (slot) {
    Raise(slot);
    return;
  }
  CloseSplash();
  if (!make) return;
  QWidget* window = make();
  if (window == nullptr) {
    if (failureTextId != 0) {
      Ui().MessageBox(res::LoadString(failureTextId), windowTitleName_, platform::MsgButtons::Ok,
                      platform::MsgIcon::None);
    }
    return;
  }
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowIcon(normalIcon_);
  slot = window;
  Raise(window);
}

QWidget* CMainFrame::MakeConfigurationWindow() {
  if (!io_ || !settings_) return nullptr;
  views::ConfigViewServices view;
  view.io = io_.get();
  view.settings = settings_.get();
  view.ui = &Ui();
  view.windowTitleName = windowTitleName_;
  view.wizardOffered = WizardOffered();
  view.commandOwner = this;
  view.dropAllowedCursor = dropAllowedCursor_;
  view.noDropCursor = noDropCursor_;
  view.smallIcon = normalIcon_;
  view.runPopupMenu = services_.runPopupMenu;
  return new views::CConfigTreeDlg(std::move(view));
}

views::CConfigTreeDlg* CMainFrame::ConfigTree() const {
  return qobject_cast<views::CConfigTreeDlg*>(configWindow_.data());
}

void CMainFrame::OpenConfigurationWindow() {
  const bool existed = !configWindow_.isNull();
  OpenSlot(configWindow_, services_.makeConfigurationWindow);
  if (existed || !configWindow_) return;
  viewExists_ = true;
  connect(configWindow_, &QObject::destroyed, this, [this] {
    viewExists_ = false;
    eventsPageShown_ = false;
  });
  if (views::CConfigTreeDlg* tree = ConfigTree()) {
    eventsPageShown_ = tree->EventsPageShown();
    connect(tree, &views::CConfigTreeDlg::eventsPageShownChanged, this,
            [this](bool shown) { eventsPageShown_ = shown; });
    connect(this, &CMainFrame::pollRefresh, tree, &views::CConfigTreeDlg::OnPollRefresh);
    connect(this, &CMainFrame::adaptersReleased, tree, &views::CConfigTreeDlg::RemoveAllAdapters);
  }
}

void CMainFrame::OpenConfigurationSheet() {
  OpenSlot(configSheet_, services_.makeConfigurationSheet, res::kStrSheetCreateFailed);
}

void CMainFrame::OpenRaidWizard() {
  if (!services_.makeRaidWizard || !io_) return;
  OpenSlot(
      wizard_,
      [this] {
        return services_.makeRaidWizard(*io_, Ui(), [this] { RemoveAdapterItemsFromView(); });
      },
      res::kStrSheetCreateFailed);
}

void CMainFrame::RemoveAdapterItemsFromView() {
  if (configWindow_) emit adaptersReleased();
}

void CMainFrame::OpenAboutBox() {
  if (aboutBox_) {
    Raise(aboutBox_);
    return;
  }
  ctl::ProgramInfo program;
  if (io_) {
    ctl::CControllerIo::Lock lock(*io_);
    program = io_->Model().program;
  }
  auto open = [this](const std::wstring& address) { Ui().OpenWithDesktop(address); };
  aboutBox_ =
      new CAboutBox(windowTitleName_, productDisplayName_, program, linkCursor_, std::move(open));
  aboutBox_->setAttribute(Qt::WA_DeleteOnClose);
  // Modal without a nested loop, so the logger's messages keep coming.
  aboutBox_->open();
}

void CMainFrame::ComeForward() {
  for (QWidget* window :
       {static_cast<QWidget*>(configWindow_.data()), static_cast<QWidget*>(configSheet_.data()),
        static_cast<QWidget*>(wizard_.data()), static_cast<QWidget*>(aboutBox_.data()),
        static_cast<QWidget*>(popup_.data())}) {
    if (window != nullptr) Raise(window);
  }
}

// ---- tray ----------------------------------------------------------------

QMenu* CMainFrame::BuildTrayMenu(QWidget* parent) {
  QMenu* menu = platform_qt::LoadPopupMenu(res::kMenuTray, 0, parent, this);
  if (menu == nullptr) return nullptr;
  if (!WizardOffered()) {
    for (QAction* action : menu->actions()) {
      if (platform_qt::CommandIdOf(action) == res::kCmdRaidWizardTray) {
        menu->removeAction(action);
        delete action;
        break;
      }
    }
  }
  return menu;
}

void CMainFrame::OnTrayLeftButtonUp() {
  CloseSplash();
  OpenConfigurationWindow();
}

void CMainFrame::DiscardTrayMenu() {
  if (!trayMenu_) return;
  QMenu* menu = trayMenu_;
  trayMenu_ = nullptr;
  menu->hide();
  menu->deleteLater();
}

void CMainFrame::OnTrayRightButtonDown(QPoint screenPos) {
  if (shutDown_) return;
  DiscardTrayMenu();
  QMenu* menu = BuildTrayMenu(nullptr);
  if (menu == nullptr) return;
  trayMenu_ = menu;
  // Gone once closed; a chosen item's command has been routed by then.
  connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
  menu->popup(screenPos);
}

void CMainFrame::OnSetHealth(bool allCurrent) {
  QMetaObject::invokeMethod(
      this,
      [this, allCurrent] {
        alertShown_ = !allCurrent;
        if (trayAdded_) tray_->SetIcon(allCurrent ? normalIcon_ : alertIcon_);
      },
      Qt::QueuedConnection);
}

void CMainFrame::OnAdaptersReleased() {
  QMetaObject::invokeMethod(
      this, [this] { emit adaptersReleased(); }, Qt::QueuedConnection);
}

// ---- popup ---------------------------------------------------------------

void CMainFrame::PostShowPopup() {
  QMetaObject::invokeMethod(
      this, [this] { OnShowPopup(); }, Qt::QueuedConnection);
}

void CMainFrame::PostPollDone() {
  QMetaObject::invokeMethod(
      this, [this] { OnPollDone(); }, Qt::QueuedConnection);
}

void CMainFrame::OnShowPopup() {
  if (shutDown_) return;
  // A popup whose OK was pressed is on its way out (its message is still
  // queued): a fresh one takes its place.
  if (popup_ && popup_->isHidden()) {
    popup_->deleteLater();
    popup_ = nullptr;
  }
  if (popup_) {
    StandOverModalWindow(popup_);
    Raise(popup_);
    return;
  }
  // The popup's UM_POPUPCLOSED names the popup it came from.
  auto sender = std::make_shared<QPointer<CEventPopupDlg>>();
  popup_ = new CEventPopupDlg([this, sender] { OnPopupClosed(*sender); });
  *sender = popup_;
  popup_->setWindowIcon(normalIcon_);
  StandOverModalWindow(popup_);
  popup_->show();
  popup_->adjustSize();
  popup_->raise();
  popup_->activateWindow();
}

void CMainFrame::OnPopupClosed(const QPointer<CEventPopupDlg>& closed) {
  if (!closed) return;
  if (popup_ == closed) popup_ = nullptr;
  closed->deleteLater();
}

void CMainFrame::OnPollDone() {
  if (configWindow_) emit pollRefresh();
}

// ---- logger's synchronous calls -------------------------------------------

// The configuration window is the only view. The logger waits for each call
// below until the user-interface thread has run it there (SyncCalls); the
// window may have closed meanwhile, so each looks for it when it runs. The
// two questions are answered from flags the window keeps up to date, without
// a wait.
bool CMainFrame::MainViewExists() {
  return viewExists_.load();
}

void CMainFrame::RebuildAdapterBranch(std::uint32_t adapterNumber) {
  loggerCalls_.Call([this, adapterNumber] {
    if (views::CConfigTreeDlg* tree = ConfigTree())
      tree->RebuildAdapterBranchFromModel(adapterNumber);
  });
}

void CMainFrame::ReselectCurrentItem() {
  loggerCalls_.Call([this] {
    if (views::CConfigTreeDlg* tree = ConfigTree()) tree->ReselectCurrentItem();
  });
}

void CMainFrame::AdaptersRediscovered() {
  loggerCalls_.Call([this] {
    if (views::CConfigTreeDlg* tree = ConfigTree()) tree->AddAllAdapters();
  });
}

bool CMainFrame::EventsPageVisible() {
  return viewExists_.load() && eventsPageShown_.load();
}

void CMainFrame::ExchangeActivePageData() {
  loggerCalls_.Call([this] {
    if (views::CConfigTreeDlg* tree = ConfigTree()) tree->ExchangeActivePageData();
  });
}

// ---- commands --------------------------------------------------------------

void CMainFrame::OnConfigure() {
  OpenConfigurationSheet();
}

void CMainFrame::OnRaidWizard() {
  if (!WizardOffered()) return;
  OpenRaidWizard();
}

void CMainFrame::OnSaveToFile() {
  if (!io_) return;
  const std::wstring report = rpt::ProduceReportText(*io_, *services_.controller.clock, Ui());
  platform::FileDialogRequest request;
  request.title = res::LoadString(res::kStrSaveConfigurationAs);
  request.defaultName = platform::FromUtf8(rpt::kDefaultReportFileName);
  request.defaultExtension = platform::FromUtf8(rpt::kReportFileExtension);
  request.filter = platform::FromUtf8(rpt::kReportFileFilter);
  request.startFolder = settings_->LogFileLocation();
  request.overwritePrompt = true;
  const auto path = Ui().SaveFileName(request);
  if (!path) return;
  if (!rpt::SaveReportFile(platform::ToUtf8(*path), report)) rpt::ShowFileFailure(Ui());
}

void CMainFrame::OnCopyToClipboard() {
  if (!io_) return;
  const std::wstring report = rpt::ProduceReportText(*io_, *services_.controller.clock, Ui());
  rpt::CopyReportToClipboard(Ui(), report);
}

void CMainFrame::OnSendByEmail() {
  if (!io_) return;
  if (sendDialog_) {
    Raise(sendDialog_);
    return;
  }
  const std::wstring report = rpt::ProduceReportText(*io_, *services_.controller.clock, Ui());
  sendDialog_ = new CSendConfigDlg(settings_->SmtpServer(), settings_->EventList(),
                                   settings_->EmailSubject());
  sendDialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(sendDialog_, &QDialog::accepted, this, [this, report] { SendReport(report); });
  sendDialog_->open();
}

void CMainFrame::SendReport(const std::wstring& report) {
  if (!sendDialog_ || !settings_) return;
  const std::wstring server = sendDialog_->Server();
  const std::wstring to = sendDialog_->To();
  const std::wstring subject = sendDialog_->Subject();
  const std::wstring sender = settings_->DefaultEmail();
  // Steps that may each wait for the server: the windows keep painting and
  // the logger's messages keep coming meanwhile. Cancel in the wait box,
  // like Exit, ends whatever step waits at once; the step then fails.
  evt::SmtpOptions options = services_.mailOptions;
  options.stop = std::make_shared<platform::StopSignal>();
  struct Outcome {
    std::wstring error;
    bool sent = false;
  };
  auto outcome = std::make_shared<Outcome>();
  platform_qt::LongStep step;
  step.work = [this, outcome, server, to, subject, sender, report, options] {
    try {
      evt::SmtpAccount account;
      if (!evt::SmtpAccountFromSettings(settings_->Get(),
                                        services_.smtpPasswordPath.empty()
                                            ? settings::SmtpPasswordPath()
                                            : services_.smtpPasswordPath,
                                        account, outcome->error))
        return;
      if (services_.mailPort) account.port = *services_.mailPort;
      outcome->sent =
          rpt::MailReport(server, account, to, subject, sender, report, outcome->error, options);
    } catch (const std::exception& e) {
      outcome->error = platform::FromUtf8(e.what());
    }
  };
  step.stop = [stop = options.stop] { stop->Raise(); };
  step.cancel = platform_qt::StepCancel::Offered;
  // A mail that could not go says why (a step that threw, with what it said).
  platform_qt::StartWithoutFreezing(*this, nullptr, Ui(), std::move(step),
                                    [this, outcome](const std::exception_ptr&) {
                                      if (shutDown_ || outcome->sent) return;
                                      rpt::ShowMailFailure(Ui(), outcome->error);
                                    });
}

}  // namespace kestrune::app
