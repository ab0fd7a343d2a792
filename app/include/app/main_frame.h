// CMainFrame: the hidden hub of the program. It owns the controller and its
// model, the settings, the event logger and the tray icon; it takes the
// logger's messages on the user-interface thread and handles the commands of
// the menus, keeping every window it opens at most once.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/event_popup.h"
#include "app/send_dialog.h"
#include "app/splash.h"
#include "app/sync_calls.h"
#include "controller/controller_io.h"
#include "events/event_log_thread.h"
#include "events/logger_ui.h"
#include "events/smtp.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/sound.h"
#include "platform/ui_services.h"
#include "platform_qt/command_table.h"
#include "platform_qt/tray.h"
#include "settings/app_settings.h"
#include "views/config_tree_dlg.h"

namespace kestrune::app {

// Everything the frame is built over; the program passes the real desktop and
// the simulator, tests their doubles.
struct FrameServices {
  ctl::ControllerServices controller;
  std::shared_ptr<platform::Sound> sound;
  // Where the logger's entries also go; null: nowhere.
  std::shared_ptr<platform::Journal> journal;
  std::unique_ptr<platform_qt::TrayHost> tray;
  // At session start the notification area often comes a few seconds after
  // the programs that start with the session: the frame looks for it every
  // `trayPoll` for up to `trayWait` (on the controller's clock) before it
  // says there is none. `trayPause` lets the time between two looks pass;
  // empty: the event loop runs meanwhile (tests advance a virtual clock).
  std::chrono::milliseconds trayWait{30000};
  std::chrono::milliseconds trayPoll{500};
  std::function<void(std::chrono::milliseconds)> trayPause;
  ctl::ProgramInfo program;  // the program's own version record
  QString logoPath = QStringLiteral("logo.bmp");
  bool splashWanted = true;
  std::wstring helpPath;  // the HTML help in the data folder
  evt::EventLogThreadOptions loggerOptions;
  // The report mail goes as the settings say ("SMTP Port", "SMTP Security",
  // the account); tests point it at a port of their own, and at a password
  // file of their own (empty: settings::SmtpPasswordPath()).
  std::optional<std::uint16_t> mailPort;
  std::string smtpPasswordPath;
  evt::SmtpOptions mailOptions;
  // The windows opened from the menus; each is kept in its slot and only
  // raised while it exists. The configuration window is the frame's own
  // CConfigTreeDlg unless a factory is given; for the others, empty: the
  // command does nothing.
  std::function<QWidget*()> makeConfigurationWindow;
  std::function<QWidget*()> makeConfigurationSheet;
  // The RAID wizard over the frame's controller and boxes; the callback
  // removes every adapter's items from the configuration window's tree when
  // that window is open.
  std::function<QWidget*(ctl::CControllerIo& io, platform::UiServices& ui,
                         std::function<void()> removeAdapterItems)>
      makeRaidWizard;
  // How the configuration window runs its right-click menu; empty: the menu
  // runs itself. Tests answer it.
  std::function<std::optional<unsigned>(QMenu&, QPoint)> runPopupMenu;
};

class CMainFrame final : public QWidget,
                         public evt::LoggerUi,
                         public ctl::ModelObserver,
                         public platform_qt::CommandTarget {
  Q_OBJECT

 public:
  explicit CMainFrame(FrameServices services);
  ~CMainFrame() override;

  // The creation steps, in order; false when the frame cannot live (the
  // program then ends). `wizardFlag` is the application's.
  bool Create(bool wizardFlag);
  // The frame's part of exiting, in order: logger stopped and waited for, log
  // file closed, configuration window deleted, model released, popup
  // destroyed, then the tray icon removed.
  void Shutdown();

  // Names (valid after Create).
  const std::wstring& ProductDisplayName() const { return productDisplayName_; }
  const std::wstring& WindowTitleName() const { return windowTitleName_; }
  bool RaidAdapter() const { return raidAdapter_; }
  bool WizardOffered() const { return wizardFlag_ && raidAdapter_; }

  ctl::CControllerIo* Io() { return io_.get(); }
  settings::AppSettings* Settings() { return settings_.get(); }
  evt::EventLogger* Logger() { return logger_.get(); }
  platform_qt::TrayHost& Tray() { return *tray_; }
  platform::UiServices& Ui() { return *services_.controller.ui; }
  platform::Sound* SoundService() const { return services_.sound.get(); }

  // Single-instance windows; null while absent.
  CEventPopupDlg* Popup() const { return popup_; }
  CSplashWindow* Splash() const { return splash_; }
  CAboutBox* AboutBox() const { return aboutBox_; }
  CSendConfigDlg* SendDialog() const { return sendDialog_; }
  QWidget* ConfigurationWindow() const { return configWindow_; }
  // The configuration window when it is the frame's own; null otherwise.
  views::CConfigTreeDlg* ConfigTree() const;
  // The logger's synchronous calls (for tests).
  SyncCalls& LoggerCalls() { return loggerCalls_; }
  QWidget* ConfigurationSheet() const { return configSheet_; }
  QWidget* RaidWizard() const { return wizard_; }
  // The tray menu while it is open.
  QMenu* TrayMenu() const { return trayMenu_; }
  // Whether the tray shows the alert icon.
  bool AlertIconShown() const { return alertShown_; }

  const QIcon& NormalIcon() const { return normalIcon_; }
  const QIcon& AlertIcon() const { return alertIcon_; }
  const QCursor& LinkCursor() const { return linkCursor_; }
  const QCursor& DropAllowedCursor() const { return dropAllowedCursor_; }
  const QCursor& NoDropCursor() const { return noDropCursor_; }

  // The windows opened from the menus (each only raised while it exists).
  void OpenConfigurationWindow();
  void OpenConfigurationSheet();
  void OpenRaidWizard();
  void OpenAboutBox();
  void CloseSplash();
  // Brings the program's visible windows forward (a second copy asked).
  void ComeForward();

  // The tray menu's items, in order, for a menu opened now.
  QMenu* BuildTrayMenu(QWidget* parent);

  // LoggerUi: the Post calls queue and return at once.
  void PostShowPopup() override;
  void PostPollDone() override;
  bool MainViewExists() override;
  void RebuildAdapterBranch(std::uint32_t adapterNumber) override;
  void ReselectCurrentItem() override;
  void AdaptersRediscovered() override;
  bool EventsPageVisible() override;
  void ExchangeActivePageData() override;

  // ModelObserver: any thread; carried to the user-interface thread.
  void OnSetHealth(bool allCurrent) override;
  void OnAdaptersReleased() override;

 signals:
  // UM_POLLREFRESH for the configuration window.
  void pollRefresh();
  // The model lost its adapters; views drop their items.
  void adaptersReleased();

 protected:
  bool HandleCommand(unsigned id) override;

 private:
  friend class FrameCommands;

  // UM_* handlers, on the user-interface thread.
  void OnShowPopup();
  void OnPopupClosed(const QPointer<CEventPopupDlg>& closed);
  void OnPollDone();
  void OnTrayLeftButtonUp();
  void OnTrayRightButtonDown(QPoint screenPos);
  // Closes the tray menu if it is open; it is deleted later, as this may run
  // inside one of its own signals.
  void DiscardTrayMenu();

  // Commands.
  void OnConfigure();
  void OnSaveToFile();
  void OnCopyToClipboard();
  void OnSendByEmail();
  void OnRaidWizard();
  void SendReport(const std::wstring& report);
  // The frame's configuration window over its model and settings.
  QWidget* MakeConfigurationWindow();

  // True once the desktop has a notification area, waiting for it as the
  // services say; false when none came.
  bool WaitForTray();
  // The wizard's way to the configuration window's tree.
  void RemoveAdapterItemsFromView();

  // Raises the window in the slot, or makes it. A factory that gives nothing
  // shows the text failureTextId (0: nothing is shown).
  void OpenSlot(QPointer<QWidget>& slot, const std::function<QWidget*()>& make,
                unsigned failureTextId = 0);

  FrameServices services_;
  platform_qt::TrayHost* tray_;
  std::unique_ptr<ctl::CControllerIo> io_;
  std::unique_ptr<settings::AppSettings> settings_;
  std::unique_ptr<evt::EventLogger> logger_;

  bool wizardFlag_ = false;
  bool raidAdapter_ = false;
  bool trayAdded_ = false;
  bool alertShown_ = false;
  bool shutDown_ = false;
  std::atomic<bool> viewExists_{false};
  std::atomic<bool> eventsPageShown_{false};
  SyncCalls loggerCalls_{this};
  std::wstring productDisplayName_;
  std::wstring windowTitleName_;

  QIcon normalIcon_;
  QIcon alertIcon_;
  QCursor dropAllowedCursor_;
  QCursor noDropCursor_;
  QCursor linkCursor_;

  QPointer<CEventPopupDlg> popup_;
  QPointer<CSplashWindow> splash_;
  QPointer<CAboutBox> aboutBox_;
  QPointer<CSendConfigDlg> sendDialog_;
  QPointer<QWidget> configWindow_;
  QPointer<QWidget> configSheet_;
  QPointer<QWidget> wizard_;
  QPointer<QMenu> trayMenu_;
};

}  // namespace kestrune::app
