#include "views/prop_page_adapter.h"

#include "resources/resource_ids.h"
#include "ui_prop_page_adapter.h"

namespace kestrune::views {

CPropPageAdapter::CPropPageAdapter(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageAdapter>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapAdapter);
}

CPropPageAdapter::~CPropPageAdapter() = default;

bool CPropPageAdapter::OnSetActive() {
  // The texts as the record holds them after the requests: a failed request
  // leaves what it had, "UNKNOWN" at first.
  ctl::AdapterRecord shown;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode found = Resolve(io.Model(), Node());
    if (found.adapter != nullptr && io.RereadAdapterAndDriver(Node().adapter)) {
      shown.chipModel = found.adapter->chipModel;
      shown.chipRevision = found.adapter->chipRevision;
      shown.chipType = found.adapter->chipType;
      shown.driverStatus = found.adapter->driverStatus;
      shown.driverMajorText = found.adapter->driverMajorText;
      shown.driverMinorText = found.adapter->driverMinorText;
      shown.driverFileVersion = found.adapter->driverFileVersion;
      shown.driverFileDate = found.adapter->driverFileDate;
      shown.pciInterrupt = found.adapter->pciInterrupt;
      shown.pciBus = found.adapter->pciBus;
      shown.pciDevice = found.adapter->pciDevice;
    }
  }
  SetValue(ui_->chipTypeValue, shown.chipModel);
  SetValue(ui_->chipVersionValue, shown.chipRevision);
  SetValue(ui_->driverTypeValue, shown.chipType);
  SetValue(ui_->driverStatusValue, shown.driverStatus);
  SetValue(ui_->ideVersionValue, shown.driverMajorText + L"." + shown.driverMinorText);
  SetValue(ui_->fileVersionValue, shown.driverFileVersion);
  SetValue(ui_->fileDateValue, shown.driverFileDate);
  SetValue(ui_->irqValue, shown.pciInterrupt);
  SetValue(ui_->busValue, shown.pciBus);
  SetValue(ui_->deviceValue, shown.pciDevice);
  return CNodePage::OnSetActive();
}

}  // namespace kestrune::views
