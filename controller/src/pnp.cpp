// Plug and Play: which disks the system sees, removing them, re-enumerating an
// adapter; and the driver files with their versions.
#include <algorithm>
#include <chrono>

#include "controller/controller_io.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::ctl {

namespace {

// Property buffers the lookups read into, in bytes of wide text with its NUL.
constexpr std::size_t kObjectNameBytes = 600;
constexpr std::size_t kServiceBytes = 20;
constexpr std::size_t kLocationBytes = 600;
constexpr std::size_t kInstanceIdChars = 200;

bool FitsBuffer(const std::wstring& text, std::size_t bytes) {
  return (text.size() + 1) * 2 <= bytes;
}

std::wstring TargetKey(std::uint32_t channel, std::uint32_t device) {
  return L"path" + std::to_wstring(channel) + L"target" + std::to_wstring(device);
}

}  // namespace

std::wstring CControllerIo::AdapterKey(std::uint32_t adapterNumber) const {
  const AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (!adapter) return L"";
  std::size_t k = 0;
  for (std::uint32_t n = 0; n <= adapterNumber; ++n) {
    const AdapterRecord* other = model_.Adapter(n);
    if (other && platform::EqualsNoCase(other->adapterName, adapter->adapterName)) ++k;
  }
  return platform::ToLowerAscii(adapter->adapterName) + std::to_wstring(k);
}

std::optional<platform::DevInst> CControllerIo::FindDiskDevice(std::uint32_t adapterNumber,
                                                              std::uint32_t channel,
                                                              std::uint32_t device) {
  Lock lock(*this);
  if (!model_.Adapter(adapterNumber)) return std::nullopt;
  const std::wstring adapterKey = AdapterKey(adapterNumber);
  const std::wstring targetKey = TargetKey(channel, device);
  auto& installer = *services_.deviceInstaller;
  const auto classGuid = installer.ClassGuidFromName(L"DiskDrive");
  if (!classGuid) return std::nullopt;
  const auto devices = installer.PresentDevices(*classGuid);
  if (!devices) return std::nullopt;
  for (platform::DevInst dev : *devices) {
    const auto name = installer.Property(dev, platform::DeviceProperty::PhysicalDeviceObjectName);
    if (!name || !FitsBuffer(*name, kObjectNameBytes)) continue;
    const std::wstring lower = platform::ToLowerAscii(*name);
    if (lower.find(adapterKey) != std::wstring::npos &&
        lower.find(targetKey) != std::wstring::npos)
      return dev;
  }
  return std::nullopt;
}

bool CControllerIo::IsDiskAvailable(std::uint32_t adapterNumber, std::uint32_t channel,
                                    std::uint32_t device) {
  const auto dev = FindDiskDevice(adapterNumber, channel, device);
  if (!dev) return false;
  const auto status = services_.deviceInstaller->Status(*dev);
  if (!status) return false;
  return (status->problem & 0x16 & 0xFF) == 0;
}

std::optional<bool> CControllerIo::DiskDeviceEnabled(std::uint32_t adapterNumber,
                                                     std::uint32_t channel, std::uint32_t device) {
  const auto dev = FindDiskDevice(adapterNumber, channel, device);
  if (!dev) return std::nullopt;
  const auto status = services_.deviceInstaller->Status(*dev);
  if (!status) return std::nullopt;
  return status->problem != platform::kProblemDisabled;
}

bool CControllerIo::SetDiskDeviceEnabled(std::uint32_t adapterNumber, std::uint32_t channel,
                                         std::uint32_t device, bool enable) {
  const auto dev = FindDiskDevice(adapterNumber, channel, device);
  if (!dev) return false;
  return services_.deviceInstaller->ChangeState(*dev, enable);
}

bool CControllerIo::RemoveDiskDevice(std::uint32_t adapterNumber, std::uint32_t channel,
                                     std::uint32_t device) {
  Lock lock(*this);
  if (const auto dev = FindDiskDevice(adapterNumber, channel, device))
    services_.deviceInstaller->Remove(*dev);
  if (AdapterRecord* adapter = model_.Adapter(adapterNumber)) {
    if (channel < adapter->channelCount && device < adapter->devicesPerChannel)
      adapter->channels[channel].devices[device].flags |= kFlagInUse;
  }
  return true;
}

bool CControllerIo::ReenumerateAdapter(std::uint32_t adapterNumber) {
  std::ptrdiff_t expected = 0;
  std::wstring busText, deviceText, caption;
  {
    Lock lock(*this);
    caption = ProgramCaption();
    AdapterRecord* adapter = model_.Adapter(adapterNumber);
    if (!adapter) return false;
    QueryDriverVersion(*adapter);
    QueryAdapterInfo(*adapter);
    QueryDeviceInfo(*adapter);
    if (adapter->IsRaidChip()) {
      QueryRioVersion(*adapter);
      QuerySpareDrives(*adapter);
      QuerySets(*adapter, true);
    }
    expected = static_cast<std::ptrdiff_t>(adapter->setCount);
    for (std::size_t i = 0; i < adapter->SlotCount(); ++i)
      if (adapter->DeviceAt(i)->present != 0) ++expected;
    for (std::size_t s = 0; s < adapter->setCount && s < kMaxSets; ++s)
      expected -= adapter->sets[s].memberCount;
    busText = adapter->pciBus;
    deviceText = adapter->pciDevice;
  }

  // The waits below must not hold the model: the event logger keeps polling.
  auto& installer = *services_.deviceInstaller;
  const auto classGuid = installer.ClassGuidFromName(L"SCSIAdapter");
  const auto devices = classGuid ? installer.PresentDevices(*classGuid) : std::nullopt;
  if (!devices) return false;

  auto instanceIdReadable = [&](platform::DevInst dev) {
    const auto id = installer.InstanceId(dev);
    if (!id || id->size() >= kInstanceIdChars) {
      PostMessage(L"CM_Get_Device_ID failed", caption, platform::MsgIcon::Warning);
      return false;
    }
    return true;
  };

  for (platform::DevInst node : *devices) {
    if (!instanceIdReadable(node)) continue;
    const auto service = installer.Property(node, platform::DeviceProperty::Service);
    if (!service || !FitsBuffer(*service, kServiceBytes)) continue;
    const std::wstring prefix = service->substr(0, 6);
    if (!platform::EqualsNoCase(prefix, L"bv7210") && !platform::EqualsNoCase(prefix, L"bv7410") &&
        !platform::EqualsNoCase(prefix, L"bv7420"))
      continue;
    const auto location = installer.Property(node, platform::DeviceProperty::LocationInformation);
    if (!location || !FitsBuffer(*location, kLocationBytes) || location->size() < 8) continue;
    // "PCI bus B, device D, function F"
    const std::wstring afterBus = location->substr(8);
    const std::wstring bus = afterBus.substr(0, afterBus.find(L','));
    const std::size_t deviceStart = bus.size() + 9;
    if (deviceStart > afterBus.size()) continue;
    const std::wstring afterDevice = afterBus.substr(deviceStart);
    const std::wstring device = afterDevice.substr(0, afterDevice.find(L','));
    if (bus != busText || device != deviceText) continue;

    for (int attempt = 1; attempt <= 3; ++attempt) {
      installer.Reenumerate(node);
      std::ptrdiff_t children = 0;
      for (auto child = installer.FirstChild(node); child; child = installer.NextSibling(*child)) {
        instanceIdReadable(*child);
        ++children;
      }
      if (children == expected || attempt == 3) break;
      services_.clock->SleepFor(std::chrono::milliseconds(30000));
    }
    break;
  }

  Lock lock(*this);
  PostAdaptersReleased();
  ReleaseAdapters();
  return true;
}

void CControllerIo::ReleaseAdapters() {
  Lock lock(*this);
  for (std::size_t i = 1; i < model_.adapters.size(); ++i) {
    auto& record = model_.adapters[i];
    if (record && record->handle != platform::kInvalidDeviceHandle)
      services_.deviceControl->Close(record->handle);
    record.reset();
  }
  if (!model_.adapters[0]) model_.adapters[0] = std::make_unique<AdapterRecord>();
  model_.entryCount = 1;
}

std::wstring CControllerIo::ProblemDeviceKeyPath(const AdapterRecord& adapter) const {
  const std::wstring base = L"System\\CurrentControlSet\\Services\\";
  if (adapter.IsExtended()) return base + adapter.adapterName + L"\\ProblemDevices";
  return base + (adapter.IsRaidChip() ? L"Bv7210R" : L"Bv7210") + L"\\ProblemDevices";
}

FileVersionTexts CControllerIo::ReadFileVersion(const std::wstring& path,
                                                const std::wstring& translation) {
  FileVersionTexts texts;
  if (const auto date = services_.files->ModificationTimeText(path))
    texts.date = platform::FromUtf8(*date);
  if (const auto block = services_.files->VersionResource(path)) {
    if (const auto version = platform::QueryVersionString(
            *block, L"\\StringFileInfo\\" + translation + L"\\FileVersion"))
      texts.version = *version;
  }
  return texts;
}

std::wstring CControllerIo::SystemFolder() const {
  const std::wstring& media = model_.computer.mediaPath;
  const std::wstring tail = media.size() < 5 ? media : media.substr(media.size() - 5);
  if (tail.empty()) return media;
  std::wstring folder = media;
  for (std::size_t at = folder.find(tail); at != std::wstring::npos; at = folder.find(tail, at))
    folder.erase(at, tail.size());
  return folder;
}

void CControllerIo::ReadAdapterDriverFile(AdapterRecord& adapter) {
  Lock lock(*this);
  std::wstring name;
  if (adapter.IsExtended()) {
    name = adapter.adapterName;
  } else if (platform::EqualsNoCase(adapter.chipModel, L"bv-7210") ||
             platform::EqualsNoCase(adapter.chipModel, L"bv-7250")) {
    name = adapter.IsRaidChip() ? L"bv7210r" : L"bv7210";
  }
  const FileVersionTexts driver =
      ReadFileVersion(SystemFolder() + L"system32/drivers/" + name + L".sys", L"000004b0");
  adapter.driverFileVersion = driver.version;
  adapter.driverFileDate = driver.date;
}

void CControllerIo::ReadDriverFiles() {
  Lock lock(*this);
  const std::wstring folder = SystemFolder();
  for (std::size_t n = 0; n < model_.AdapterCount(); ++n) {
    AdapterRecord& adapter = *model_.Adapter(n);
    const FileVersionTexts support =
        ReadFileVersion(folder + L"system/iosubsys/brvsupp.vxd", L"040904e4");
    model_.supportFileVersion = support.version;
    model_.supportFileDate = support.date;
    model_.supportMajorText = L"1";
    model_.supportMinorText = L"1";

    QueryDriverVersion(adapter);
    ReadAdapterDriverFile(adapter);
    ReadAdapterState(adapter, true);
  }
}

}  // namespace kestrune::ctl
