#include "views/prop_page_device_smart.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "platform/text.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "ui_prop_page_device_smart.h"

namespace kestrune::views {

namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && platform::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

CPropPageDeviceSmart::CPropPageDeviceSmart(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDeviceSmart>()) {
  SetUpForm(*ui_);
  connect(ui_->modeList, &QComboBox::activated, this, [this] { OnModeSelected(); });
  connect(ui_->cacheEnabledRadio, &QRadioButton::clicked, this, [this] { OnCacheClicked(); });
  connect(ui_->cacheDisabledRadio, &QRadioButton::clicked, this, [this] { OnCacheClicked(); });
  connect(ui_->modeApplyButton, &QPushButton::clicked, this, [this] { OnModeApply(); });
  connect(ui_->cacheApplyButton, &QPushButton::clicked, this, [this] { OnCacheApply(); });
}

CPropPageDeviceSmart::~CPropPageDeviceSmart() = default;

bool CPropPageDeviceSmart::OnSetActive() {
  Fill();
  return CNodePage::OnSetActive();
}

bool CPropPageDeviceSmart::OnKillActive() {
  ui_->modeList->clear();
  return CNodePage::OnKillActive();
}

void CPropPageDeviceSmart::Fill() {
  shown_ = ReadShownDevice(Context(), Node());
  const ctl::DeviceRecord& device = shown_.record;
  SetValue(ui_->supportValue, device.smartSupport);
  SetValue(ui_->enabledValue, device.smartEnabled);
  SetValue(ui_->statusValue, device.smartStatus);
  SetValue(ui_->currentModeValue, device.currentMode);

  const QSignalBlocker quiet(ui_->modeList);
  ui_->modeList->clear();
  ui_->modeList->addItem(platform_qt::ToQString(res::LoadString(res::kStrDefaultMode)));
  modes_ = shown_.found ? SupportedModeEntries(device.supportedModes) : std::vector<std::wstring>{};
  for (const std::wstring& mode : modes_) ui_->modeList->addItem(platform_qt::ToQString(mode));

  platform::Registry& registry = Context().Settings().Store();
  const std::wstring name = DeviceValueName(device);
  const std::optional<std::u16string> options =
      shown_.found ? ReadDeviceText(registry, shown_.optionsKey, name) : std::nullopt;
  const std::optional<std::wstring> stored = options ? StoredMaxMode(*options) : std::nullopt;
  if (!stored) {
    ui_->modeList->setCurrentIndex(0);
  } else {
    // The first entry that begins with the stored mode; none when the device
    // no longer offers it.
    int selected = -1;
    for (int i = 0; i < ui_->modeList->count() && selected < 0; ++i)
      if (StartsWithNoCase(platform_qt::ToWString(ui_->modeList->itemText(i)), *stored)) selected = i;
    ui_->modeList->setCurrentIndex(selected);
    if (!ReadDeviceText(registry, shown_.defaultModeKey, name))
      WriteDeviceText(registry, shown_.defaultModeKey, name, ModeAsStored(*stored));
  }

  ui_->modeApplyButton->setEnabled(false);
  ui_->cacheApplyButton->setEnabled(false);
  const bool cacheOn = platform::EqualsNoCase(device.writeCache, L"Enabled");
  ui_->cacheEnabledRadio->setChecked(cacheOn);
  ui_->cacheDisabledRadio->setChecked(!cacheOn);
  const bool cacheSupported = (ctl::IdWord<82>(device.identify) & 0x0020) != 0;
  const bool settable = shown_.found && cacheSupported && device.isDisk;
  ui_->cacheEnabledRadio->setEnabled(settable);
  ui_->cacheDisabledRadio->setEnabled(settable);
}

void CPropPageDeviceSmart::OnModeSelected() {
  ui_->modeApplyButton->setEnabled(
      platform_qt::ToWString(ui_->modeList->currentText()) != shown_.record.currentMode);
}

void CPropPageDeviceSmart::OnCacheClicked() {
  const std::wstring& now = shown_.record.writeCache;
  ui_->cacheApplyButton->setEnabled(
      (platform::EqualsNoCase(now, L"Enabled") && ui_->cacheDisabledRadio->isChecked()) ||
      (platform::EqualsNoCase(now, L"Disabled") && ui_->cacheEnabledRadio->isChecked()));
}

void CPropPageDeviceSmart::WriteFirstModeAsDefault() {
  // A supported-modes text without a whole entry gives no default.
  if (modes_.empty()) return;
  WriteDeviceText(Context().Settings().Store(), shown_.defaultModeKey,
                  DeviceValueName(shown_.record), ModeAsStored(modes_.front()));
}

void CPropPageDeviceSmart::OnModeApply() {
  const int index = ui_->modeList->currentIndex();
  if (index < 0 || !shown_.found) return;
  platform::Registry& registry = Context().Settings().Store();
  const std::wstring name = DeviceValueName(shown_.record);
  const std::optional<std::u16string> options = ReadDeviceText(registry, shown_.optionsKey, name);
  std::optional<std::wstring> chosen;
  std::optional<std::u16string> defaultMode;
  if (index > 0 && static_cast<std::size_t>(index) <= modes_.size()) {
    chosen = modes_[static_cast<std::size_t>(index) - 1];
    if (!options) WriteFirstModeAsDefault();
  } else {
    defaultMode = ReadDeviceText(registry, shown_.defaultModeKey, name);
  }
  if (const auto written = OptionsForMode(options, chosen, defaultMode))
    WriteDeviceText(registry, shown_.optionsKey, name, *written);
  Context().Ui().MessageBox(res::LoadString(res::kStrStatusRebootRequired), Context().WindowCaption(),
                            platform::MsgButtons::Ok, platform::MsgIcon::Information);
  ui_->modeApplyButton->setEnabled(false);
}

void CPropPageDeviceSmart::OnCacheApply() {
  const bool on = ui_->cacheEnabledRadio->isChecked();
  // A device that is gone or refuses leaves the registry as it was.
  if (!Context().Io().ChangeWriteCache(Node().adapter, Node().channel, Node().device, on)) return;
  platform::Registry& registry = Context().Settings().Store();
  const std::wstring name = DeviceValueName(shown_.record);
  const std::optional<std::u16string> options = ReadDeviceText(registry, shown_.optionsKey, name);
  if (!options) WriteFirstModeAsDefault();
  WriteDeviceText(registry, shown_.optionsKey, name, OptionsForWriteCache(options, on));
  Fill();
}

}  // namespace kestrune::views
