// CWizardRaid: the RAID configuration wizard. The administrator picks an
// adapter, then either makes free disks into spare drives or deletes a RAID set
// or spare drive. The sheet holds the run's WizardState; its pages hold only
// their controls. Navigation follows the state machine: Next and Back lead to
// the pages WizardState names, and the wizard buttons are the ones it offers.
#pragma once

#include <QPixmap>
#include <QWizard>
#include <array>
#include <functional>

#include "controller/controller_io.h"
#include "platform/ui_services.h"
#include "wizard/wizard_state.h"

namespace kestrune::wizard {

class WizardPageBase;
class CWizardSelController;

struct WizardServices {
  ctl::CControllerIo* io = nullptr;
  platform::UiServices* ui = nullptr;
  // Removes every adapter's items from the configuration window's tree when
  // that window is open; may be empty.
  std::function<void()> removeAdapterItems;
};

class CWizardRaid final : public QWizard {
  Q_OBJECT

 public:
  // Caption "RAID Wizard", the eight pages in their order, start page 0. The
  // watermark stands beside the welcome and finish pages, the header bitmap in
  // the other pages' headers.
  CWizardRaid(WizardServices services, const QPixmap& watermark, const QPixmap& header,
              QWidget* parent = nullptr);
  ~CWizardRaid() override;

  WizardState& State() { return state_; }
  const WizardState& State() const { return state_; }
  ctl::CControllerIo& Io() { return *services_.io; }
  platform::UiServices& Ui() { return *services_.ui; }
  void RemoveAdapterItems();

  // The page shown now (the welcome page before the wizard is shown).
  WizardPage CurrentPage() const;
  WizardPageBase* Page(WizardPage page) const;
  CWizardSelController* ControllerPage() const;

  // Makes the wizard buttons those the state offers on the current page; the
  // pages call it after a step that changes them.
  void UpdateButtons();

  // Starts a step that waits for the system without freezing the windows
  // (see platform_qt::StartWithoutFreezing) and returns at once; the wizard's
  // buttons, Cancel and the close box do nothing until it has ended. `then`
  // follows it when it has ended without an exception.
  void RunStep(std::function<void()> step, std::function<void()> then);
  // Closes the wizard as Finish does, once its page's step is done.
  void FinishAfterStep();
  bool Busy() const { return busy_; }

  // QWizard: Next follows the state machine; leaving a page by Next or Finish
  // runs the page's own step first.
  int nextId() const override;
  bool validateCurrentPage() override;
  // Cancel, Escape and the close box: nothing is sent.
  void reject() override;

 private:
  void OnBack();
  void OnPageShown(int id);

  WizardServices services_;
  WizardState state_;
  std::array<WizardPageBase*, kPageCount> pages_{};
  bool busy_ = false;
};

// The wizard as the main frame opens it: bitmaps 210 and 1120, no parent,
// application-modal, deleted when closed (the frame sets that). Never null.
QWidget* MakeRaidWizard(ctl::CControllerIo& io, platform::UiServices& ui,
                        std::function<void()> removeAdapterItems);

}  // namespace kestrune::wizard
