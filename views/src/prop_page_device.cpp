#include "views/prop_page_device.h"

#include <QGroupBox>
#include <QLabel>

#include "platform_qt/qt_ui_services.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui_prop_page_device.h"
#include "views/device_options.h"

namespace kestrune::views {

CPropPageDevice::CPropPageDevice(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDevice>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapDevice);
}

CPropPageDevice::~CPropPageDevice() = default;

bool CPropPageDevice::OnSetActive() {
  // A device the model no longer has shows the texts of a record never read.
  const ctl::DeviceRecord device = ReadShownDevice(Context(), Node()).record;
  ui_->deviceGroup->setTitle(platform_qt::ToQString(
      res::FormatString(res::kStrDeviceInformation, device.deviceType)));
  SetValue(ui_->modelValue, device.modelNumber);
  SetValue(ui_->serialValue, device.serialNumber);
  SetValue(ui_->firmwareValue, device.firmwareVersion);
  SetValue(ui_->ataVersionValue, device.ataVersion);
  SetValue(ui_->mediaTypeValue, device.mediaType);
  SetValue(ui_->currentModeValue, device.currentMode);
  SetValue(ui_->sectorsValue, device.sectorsPerInterrupt);
  SetValue(ui_->lookAheadValue, device.lookAhead);
  SetValue(ui_->writeCacheValue, device.writeCache);
  SetValue(ui_->capacityValue, device.capacity);
  return CNodePage::OnSetActive();
}

}  // namespace kestrune::views
