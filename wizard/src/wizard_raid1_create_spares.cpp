#include <QLabel>
#include <QTreeWidget>

#include "platform_qt/forms.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui_wizard_raid1_create_spares.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"
#include "wizard_lists.h"

namespace kestrune::wizard {

namespace {
constexpr int kIconSize = 32;
}  // namespace

CWizardRaid1CreateSpares::CWizardRaid1CreateSpares(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kSpareSummary),
      ui_(std::make_unique<Ui::CWizardRaid1CreateSpares>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardCreateSparesTitle, res::kStrWizardCreateSparesSubtitle);
  SetUpReportList(ui_->diskList, 4);  // four spare drives at most
  ui_->warningIcon->setPixmap(
      platform_qt::LoadIcon(res::kIconWarning).pixmap(kIconSize, kIconSize));
}

CWizardRaid1CreateSpares::~CWizardRaid1CreateSpares() = default;

void CWizardRaid1CreateSpares::OnSetActive() {
  FillReportList(ui_->diskList, DiskColumns(),
                 DiskRows(State().spareChoice, State().extendedNaming));
}

bool CWizardRaid1CreateSpares::OnWizardNext() {
  ctl::CControllerIo& io = Sheet().Io();
  const auto number = static_cast<std::uint32_t>(State().selectedAdapter);
  // One disk at a time, each under its own hold of the model, so that the
  // error box of a refused disk is shown before the next one is sent.
  for (const DiskEntry& entry : State().spareChoice) {
    ctl::CControllerIo::Lock lock(io);
    ctl::AdapterRecord* adapter = io.Model().Adapter(number);
    // The model may have been emptied and read again meanwhile: never send to
    // another adapter than the one the disks were chosen from.
    if (adapter == nullptr || State().selectedAdapter < 0 || !State().CandidateAdapter() ||
        !State().CandidateAdapter()->Matches(*adapter))
      break;
    io.MakeSpare(number, static_cast<std::uint32_t>(entry.channel),
                 static_cast<std::uint32_t>(entry.device),
                 static_cast<std::uint8_t>(entry.DeviceIndex()));
  }
  Sheet().RemoveAdapterItems();
  io.ForgetAdaptersUntilRediscovery();
  return true;
}

}  // namespace kestrune::wizard
