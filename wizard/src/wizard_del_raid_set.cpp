#include <QLabel>
#include <QTreeWidget>

#include "platform_qt/forms.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui_wizard_del_raid_set.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"
#include "wizard_lists.h"

namespace kestrune::wizard {

namespace {
constexpr int kIconSize = 32;

std::vector<ListRow> EntryRows(const std::vector<DeletionEntry>& entries) {
  std::vector<ListRow> rows;
  for (const DeletionEntry& entry : entries) rows.push_back(entry.row);
  return rows;
}
}  // namespace

CWizardDelRaidSet::CWizardDelRaidSet(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kDelete), ui_(std::make_unique<Ui::CWizardDelRaidSet>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardDeleteTitle, res::kStrWizardDeleteSubtitle);
  // Two sets and four spare drives at most; four members.
  SetUpReportList(ui_->entryList, 6);
  SetUpReportList(ui_->memberList, 4);
  // The warning's room is kept while it is hidden: showing it moves nothing.
  for (QWidget* warning :
       {static_cast<QWidget*>(ui_->warningIcon), static_cast<QWidget*>(ui_->warningLabel)}) {
    QSizePolicy policy = warning->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    warning->setSizePolicy(policy);
  }
  ui_->warningIcon->setPixmap(
      platform_qt::LoadIcon(res::kIconWarning).pixmap(kIconSize, kIconSize));
  // A click on the empty part keeps the row selected, and the keyboard moves
  // the choice with the selection: Finish deletes the row shown selected.
  clicks_ = new ListClicks(ui_->entryList, false, [this] { OnClick(); });
  connect(ui_->entryList, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!clicks_->MouseDown()) OnClick();
  });
}

CWizardDelRaidSet::~CWizardDelRaidSet() = default;

void CWizardDelRaidSet::OnSetActive() {
  {
    ctl::CControllerIo::Lock lock(Sheet().Io());
    State().ActivateDeletion(Sheet().Io().Model());
  }
  ui_->warningLabel->setVisible(false);
  ui_->warningIcon->setVisible(false);
  FillReportList(ui_->entryList,
                 {{res::kStrColumnRaidType, 98},
                  {res::kStrColumnDiskModel, 98},
                  {res::kStrColumnCapacity, 98}},
                 EntryRows(State().DeletionEntries()));
  FillReportList(ui_->memberList, {}, {});
  Sheet().UpdateButtons();
}

void CWizardDelRaidSet::OnClick() {
  const int row = SelectedRow(ui_->entryList);
  if (row < 0) return;
  State().ClickDeletion(row);
  if (State().DeletionRow() != row) return;
  const DeletionEntry& entry = State().DeletionEntries()[static_cast<std::size_t>(row)];
  FillReportList(ui_->memberList, DiskColumns(), entry.members);
  // Once shown, the warning stays until the page is activated again.
  if (State().DeletionWarning()) {
    ui_->warningLabel->setVisible(true);
    ui_->warningIcon->setVisible(true);
  }
  Sheet().UpdateButtons();
}

bool CWizardDelRaidSet::OnWizardFinish() {
  const std::optional<DeletionPlan> plan = State().PlanDeletion();
  if (!plan) return false;
  ctl::CControllerIo& io = Sheet().Io();
  bool valid = false;
  {
    ctl::CControllerIo::Lock lock(io);
    valid = State().DeletionStillValid(io.Model());
  }
  if (!valid) {
    // The adapter or its entries changed since the list was made: nothing is
    // sent, and the lists show the model as it is now.
    OnSetActive();
    return false;
  }
  Sheet().RunStep(
      [&io, plan = *plan] {
        // Sent only to the adapter the entry was read from.
        const auto sameAdapter = [&plan](const ctl::AdapterRecord& adapter) {
          return plan.adapter.Matches(adapter);
        };
        if (plan.spare) {
          io.DeleteSpareDrive(plan.adapterNumber, plan.deviceIndex, sameAdapter);
        } else {
          io.DeleteSetAndDisk(plan.adapterNumber, plan.setIndex, plan.removeChannel,
                              plan.removeDevice, sameAdapter);
        }
      },
      [this] { Sheet().FinishAfterStep(); });
  // The wizard closes once the deletion has ended.
  return false;
}

}  // namespace kestrune::wizard
