#include <QTreeWidget>

#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_wizard_sel_controller.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"
#include "wizard_lists.h"

namespace kestrune::wizard {

CWizardSelController::CWizardSelController(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kController),
      ui_(std::make_unique<Ui::CWizardSelController>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardControllerTitle, res::kStrWizardControllerSubtitle);
  SetUpReportList(ui_->controllerList, 4);  // four adapters at most
  clicks_ = new ListClicks(ui_->controllerList, true, [this] { OnClick(); });
  // The keyboard moves the selection too: the choice follows what is marked,
  // so that Next never works on another adapter than the one shown selected.
  connect(ui_->controllerList, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!clicks_->MouseDown()) OnClick();
  });
}

CWizardSelController::~CWizardSelController() = default;

QTreeWidget* CWizardSelController::List() const {
  return ui_->controllerList;
}

void CWizardSelController::Activate() {
  std::vector<ListRow> rows;
  {
    ctl::CControllerIo::Lock lock(Sheet().Io());
    State().ActivateController(Sheet().Io().Model());
    rows = ControllerRows(Sheet().Io().Model());
  }
  FillReportList(ui_->controllerList,
                 {{res::kStrColumnController, 98},
                  {res::kStrColumnBusNumber, 88},
                  {res::kStrColumnDeviceNumber, 98}},
                 rows);
  if (State().selectedAdapter >= 0) SelectRowQuietly(ui_->controllerList, State().selectedAdapter);
}

void CWizardSelController::OnSetActive() {
  Activate();
}

void CWizardSelController::OnWizardBack() {
  State().BackFromController();
}

void CWizardSelController::OnClick() {
  const int row = SelectedRow(ui_->controllerList);
  bool refused = false;
  {
    ctl::CControllerIo::Lock lock(Sheet().Io());
    refused = State().ClickController(Sheet().Io().Model(), row);
  }
  Sheet().UpdateButtons();
  // Shown with the model let go: a box waits for the user.
  if (refused) {
    Sheet().Ui().MessageBox(res::LoadString(res::kStrControllerNotSupported),
                            res::LoadString(res::kStrAppTitle), platform::MsgButtons::Ok,
                            platform::MsgIcon::Warning);
  }
}

}  // namespace kestrune::wizard
