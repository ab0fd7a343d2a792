#include "views/prop_page_my_computer.h"

#include "resources/resource_ids.h"
#include "ui_prop_page_my_computer.h"

namespace kestrune::views {

CPropPageMyComputer::CPropPageMyComputer(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageMyComputer>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapComputer);
}

CPropPageMyComputer::~CPropPageMyComputer() = default;

bool CPropPageMyComputer::OnSetActive() {
  ctl::ComputerInfo computer;
  bool ntFamily = true;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo::Lock lock(Context().Io());
    computer = Context().Io().Model().computer;
    ntFamily = Context().Io().Model().ntFamily;
  }
  SetValue(ui_->versionValue, computer.osName);
  SetValue(ui_->versionNumberValue, computer.osVersion);
  SetValue(ui_->servicePackValue, computer.servicePack);
  SetValue(ui_->nameValue, computer.computerName);
  SetValue(ui_->descriptionValue, computer.computerComment);
  // The service pack belongs to one family, the description to the other.
  ui_->servicePackCaption->setVisible(ntFamily);
  ui_->servicePackValue->setVisible(ntFamily);
  ui_->descriptionCaption->setVisible(!ntFamily);
  ui_->descriptionValue->setVisible(!ntFamily);
  return CNodePage::OnSetActive();
}

}  // namespace kestrune::views
