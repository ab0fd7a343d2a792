// Named operations: the request sequences the user interface and the event
// logger ask for, each keeping the records it changes current.
#include <algorithm>

#include "controller/controller_io.h"
#include "controller/identity.h"

namespace kestrune::ctl {

void CControllerIo::ReadAdapterState(AdapterRecord& adapter, bool withRioVersion) {
  Lock lock(*this);
  QueryAdapterInfo(adapter);
  QueryDeviceInfo(adapter);
  if (adapter.IsRaidChip()) {
    if (withRioVersion) QueryRioVersion(adapter);
    QuerySpareDrives(adapter);
    QuerySets(adapter, true);
  }
}

DeviceRecord* CControllerIo::DeviceOf(AdapterRecord& adapter, std::uint32_t channel,
                                      std::uint32_t device) {
  const std::size_t channels = std::min<std::size_t>(adapter.channelCount, kMaxChannels);
  const std::size_t perChannel =
      std::min<std::size_t>(adapter.devicesPerChannel, kMaxDevicesPerChannel);
  if (channel >= channels || device >= perChannel) return nullptr;
  return &adapter.channels[channel].devices[device];
}

bool CControllerIo::RereadAdapter(std::uint32_t adapterNumber) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr) return false;
  ReadAdapterState(*adapter, false);
  return true;
}

bool CControllerIo::RereadSets(std::uint32_t adapterNumber, bool full) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  return adapter != nullptr && QuerySets(*adapter, full);
}

bool CControllerIo::RereadSpares(std::uint32_t adapterNumber) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  return adapter != nullptr && adapter->IsRaidChip() && QuerySpareDrives(*adapter);
}

void CControllerIo::RereadAllSpares() {
  Lock lock(*this);
  for (std::uint32_t n = 0; n < model_.AdapterCount(); ++n) RereadSpares(n);
}

void CControllerIo::RereadStatusOfAll(bool smart) {
  Lock lock(*this);
  for (std::uint32_t n = 0; n < model_.AdapterCount(); ++n) {
    AdapterRecord* adapter = model_.Adapter(n);
    if (adapter == nullptr) continue;
    if (adapter->IsRaidChip() && QuerySets(*adapter, false)) QuerySpareDrives(*adapter);
    if (!smart) continue;
    const std::size_t channels = std::min<std::size_t>(adapter->channelCount, kMaxChannels);
    const std::size_t perChannel =
        std::min<std::size_t>(adapter->devicesPerChannel, kMaxDevicesPerChannel);
    for (std::size_t c = 0; c < channels; ++c) {
      for (std::size_t d = 0; d < perChannel; ++d) {
        DeviceRecord& device = adapter->channels[c].devices[d];
        const std::size_t slot = c * adapter->devicesPerChannel + d;
        if (device.present == 0 || slot > 0xFF || !SmartSupported(device.identify) ||
            !SmartEnabled(device.identify))
          continue;
        // A failed query is not the disk's fault: its status reads UNKNOWN.
        if (!QueryDeviceSmartStatus(*adapter, static_cast<std::uint8_t>(slot), device))
          device.smartStatus = kUnknown;
      }
    }
  }
}

bool CControllerIo::RereadAdapterAndDriver(std::uint32_t adapterNumber) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr) return false;
  QueryDriverVersion(*adapter);
  QueryAdapterInfo(*adapter);
  ReadAdapterDriverFile(*adapter);
  return true;
}

bool CControllerIo::RemoveSetMember(std::uint32_t adapterNumber, std::uint32_t setIndex,
                                    std::uint8_t position) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr) return false;
  bool removed = false;
  if (setIndex < std::min<std::size_t>(adapter->setCount, kMaxSets))
    removed = RemoveMember(*adapter, static_cast<std::uint8_t>(setIndex), position);
  QuerySets(*adapter, true);
  return removed;
}

bool CControllerIo::ChangeSpareUse(std::uint32_t adapterNumber, std::uint32_t setIndex,
                                   bool useSpare) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr || setIndex >= std::min<std::size_t>(adapter->setCount, kMaxSets))
    return false;
  if (!EnableSpare(*adapter, static_cast<std::uint8_t>(setIndex), useSpare)) return false;
  // The record follows the adapter, so the next look at the set shows the
  // switch as it is now.
  adapter->sets[setIndex].spareEnabled = useSpare ? 1 : 0;
  return true;
}

bool CControllerIo::ChangeRebuildRate(std::uint32_t adapterNumber, std::uint32_t setIndex,
                                      std::uint8_t rate) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr || setIndex >= std::min<std::size_t>(adapter->setCount, kMaxSets))
    return false;
  if (!SetRebuildRate(*adapter, static_cast<std::uint8_t>(setIndex), rate)) return false;
  adapter->sets[setIndex].rebuildRate = rate;
  return true;
}

bool CControllerIo::ChangeWriteCache(std::uint32_t adapterNumber, std::uint32_t channel,
                                     std::uint32_t device, bool on) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  DeviceRecord* record = adapter != nullptr ? DeviceOf(*adapter, channel, device) : nullptr;
  if (record == nullptr) return false;
  if (!SetDeviceFeatures(*adapter, on, *record, static_cast<std::uint8_t>(channel),
                         static_cast<std::uint8_t>(device)))
    return false;
  // The device has the setting now; until the next device query the record
  // would still show the old one.
  record->writeCache = on ? L"Enabled" : L"Disabled";
  return true;
}

bool CControllerIo::ChangeDiskDeviceState(std::uint32_t adapterNumber, std::uint32_t channel,
                                          std::uint32_t device, bool enable) {
  // Without the model lock: the class installer waits for the system.
  if (!SetDiskDeviceEnabled(adapterNumber, channel, device, enable)) return false;
  Lock lock(*this);
  if (AdapterRecord* adapter = model_.Adapter(adapterNumber)) {
    if (DeviceRecord* record = DeviceOf(*adapter, channel, device)) {
      if (enable)
        record->flags = 0;
      else
        record->flags |= kFlagInUse;
    }
  }
  return true;
}

void CControllerIo::ReadGpioStatus(std::uint32_t adapterNumber) {
  Lock lock(*this);
  if (AdapterRecord* adapter = model_.Adapter(adapterNumber))
    WriteGpioStatus(*adapter, false, adapter->gpioStatus);
}

void CControllerIo::ChangeGpioStatus(std::uint32_t adapterNumber,
                                     const std::function<std::uint8_t(std::uint8_t)>& change) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr) return;
  adapter->gpioStatus = change(adapter->gpioStatus);
  WriteGpioStatus(*adapter, true, adapter->gpioStatus);
}

bool CControllerIo::MakeSpare(std::uint32_t adapterNumber, std::uint32_t channel,
                              std::uint32_t device, std::uint8_t deviceIndex) {
  Lock lock(*this);
  AdapterRecord* adapter = model_.Adapter(adapterNumber);
  if (adapter == nullptr) return false;
  RemoveDiskDevice(adapterNumber, channel, device);
  return CreateSpare(*adapter, deviceIndex);
}

bool CControllerIo::DeleteSpareDrive(std::uint32_t adapterNumber, std::uint8_t deviceIndex,
                                     const AdapterCheck& check) {
  {
    Lock lock(*this);
    AdapterRecord* adapter = model_.Adapter(adapterNumber);
    if (adapter == nullptr || !check(*adapter)) return false;
    DeleteSpare(*adapter, deviceIndex);
  }
  // Without the model lock: the re-enumeration waits for the system.
  return ReenumerateAdapter(adapterNumber);
}

bool CControllerIo::DeleteSetAndDisk(std::uint32_t adapterNumber, std::uint8_t setIndex,
                                     std::uint32_t channel, std::uint32_t device,
                                     const AdapterCheck& check) {
  AdapterRecord* adapter = nullptr;
  {
    Lock lock(*this);
    adapter = model_.Adapter(adapterNumber);
    if (adapter == nullptr || !check(*adapter)) return false;
    RemoveDiskDevice(adapterNumber, channel, device);
  }
  // Only a re-enumeration or a discovery into an empty list releases an
  // adapter record, and neither runs while the caller waits for this step.
  return DeleteSet(*adapter, setIndex);
}

void CControllerIo::ForgetAdaptersUntilRediscovery() {
  Lock lock(*this);
  model_.entryCount = 1;
}

void CControllerIo::SetProgramInfo(const ProgramInfo& program) {
  Lock lock(*this);
  model_.program = program;
}

}  // namespace kestrune::ctl
