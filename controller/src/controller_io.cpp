// The request layer: locking, sending, error boxes, and the driver queries.
#include "controller/controller_io.h"

#include <algorithm>
#include <utility>

#include "controller/decode.h"
#include "controller/wire_layout.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::ctl {

namespace {

wire::Request IdeRequest(std::uint32_t code, std::uint32_t length, std::uint8_t fill = 0) {
  return wire::Request(wire::kSignatureIde, wire::kTimeout, code, length, wire::kIdeBufferSize,
                       wire::kIdeBufferSize, fill);
}

wire::Request RioRequest(std::uint32_t code, std::uint32_t length) {
  return wire::Request(wire::kSignatureRio, wire::kTimeout, code, length, wire::kRioBufferSize,
                       wire::kRioBufferSize);
}

// SENDCMDINPARAMS of a SMART request: registers and drive number.
void PutSmartCommand(wire::Request& request, std::uint8_t features, std::uint8_t cylinderLow,
                     std::uint8_t cylinderHigh, std::uint8_t command, std::uint8_t drive) {
  namespace f = wire::smart;
  request.Put(f::kBufferSize, std::uint32_t{wire::length::kSmartStatus});
  request.Put(f::kFeatures, features);
  request.Put(f::kSectorCount, std::uint8_t{1});
  request.Put(f::kSectorNumber, std::uint8_t{1});
  request.Put(f::kCylinderLow, cylinderLow);
  request.Put(f::kCylinderHigh, cylinderHigh);
  request.Put(f::kDriveHead, static_cast<std::uint8_t>((drive & 1) ? 0xB0 : 0xA0));
  request.Put(f::kCommand, command);
  request.Put(f::kReserved, std::uint8_t{0});
  request.Put(f::kDriveNumber, drive);
}

// The driver return codes that have texts of their own.
struct StatusText {
  std::uint32_t returnCode;
  unsigned id;
};
constexpr StatusText kStatusTexts[] = {
    {0, res::kStrStatusSuccess},
    {1, res::kStrStatusRebootRequired},
    {2, res::kStrStatusInvalidParameter},
    {3, res::kStrStatusBufferTooSmall},
    {10, res::kStrStatusMaxArrays},
    {11, res::kStrStatusInvalidArrayIndex},
    {12, res::kStrStatusMaxMembers},
    {13, res::kStrStatusInvalidDeviceIndex},
    {14, res::kStrStatusDeviceInUse},
    {15, res::kStrStatusDeviceNotInSet},
    {16, res::kStrStatusRebuildInProgress},
    {17, res::kStrStatusVolumeTooSmall},
    {18, res::kStrStatusLastMember},
    {255, res::kStrStatusGeneralError},
};

}  // namespace

struct CControllerIo::Pending {
  struct Box {
    std::wstring text;
    std::wstring caption;
    platform::MsgIcon icon;
  };
  std::vector<Box> boxes;
  std::optional<bool> setHealth;
  bool adaptersReleased = false;
};

CControllerIo::CControllerIo(ControllerServices services)
    : services_(std::move(services)), pending_(std::make_unique<Pending>()) {
  model_.adapters[0] = std::make_unique<AdapterRecord>();
  model_.entryCount = 1;
}

CControllerIo::~CControllerIo() {
  std::lock_guard guard(mutex_);
  for (std::size_t i = 1; i < model_.adapters.size(); ++i) {
    if (model_.adapters[i] && model_.adapters[i]->handle != platform::kInvalidDeviceHandle)
      services_.deviceControl->Close(model_.adapters[i]->handle);
  }
}

void CControllerIo::SetObserver(ModelObserver* observer) {
  Lock lock(*this);
  observer_ = observer;
}

CControllerIo::Lock::Lock(CControllerIo& io) : io_(io) {
  io_.mutex_.lock();
  ++io_.lockDepth_;
}

CControllerIo::Lock::~Lock() {
  if (--io_.lockDepth_ > 0) {
    io_.mutex_.unlock();
    return;
  }
  Pending pending = std::exchange(*io_.pending_, Pending{});
  ModelObserver* observer = io_.observer_;
  io_.mutex_.unlock();
  // Delivered outside the lock: a box waits for the user, an observer may
  // wait for its own thread.
  for (const auto& box : pending.boxes)
    io_.services_.ui->MessageBox(box.text, box.caption, platform::MsgButtons::Ok, box.icon);
  if (observer && pending.setHealth) observer->OnSetHealth(*pending.setHealth);
  if (observer && pending.adaptersReleased) observer->OnAdaptersReleased();
}

void CControllerIo::PostMessage(std::wstring text, std::wstring caption, platform::MsgIcon icon) {
  Lock lock(*this);
  pending_->boxes.push_back({std::move(text), std::move(caption), icon});
}

void CControllerIo::PostSetHealth(bool allCurrent) {
  Lock lock(*this);
  pending_->setHealth = allCurrent;
}

void CControllerIo::PostAdaptersReleased() {
  Lock lock(*this);
  pending_->adaptersReleased = true;
}

std::wstring CControllerIo::ProgramCaption() const {
  return model_.program.productName.empty() ? std::wstring(L"Kestrune") : model_.program.productName;
}

void CControllerIo::PostDeviceInfoError(std::uint32_t lastError) {
  PostMessage(res::Sprintf(L"IdeDevIoGetDevInfo error: %ld", static_cast<long>(lastError)),
              ProgramCaption(), platform::MsgIcon::Warning);
}

std::wstring CControllerIo::DriverStatusText(std::uint32_t returnCode) {
  unsigned id = res::kStrStatusUnknown;
  for (const StatusText& entry : kStatusTexts) {
    if (entry.returnCode == returnCode) id = entry.id;
  }
  return res::LoadString(id) +
         res::FormatString(res::kStrReturnCode,
                           static_cast<int>(static_cast<std::int32_t>(returnCode)));
}

void CControllerIo::ShowDriverError(std::uint32_t returnCode, const std::wstring& caption) {
  PostMessage(DriverStatusText(returnCode), caption, platform::MsgIcon::Error);
}

bool CControllerIo::Send(AdapterRecord& adapter, wire::Request& request,
                         std::initializer_list<std::uint32_t> accepted, unsigned captionId,
                         platform::ControlResult* callResult) {
  const platform::ControlResult result = services_.deviceControl->Control(
      adapter.handle, platform::kIoctlScsiMiniport, request.Buffer(), request.InSize(),
      request.OutSize());
  if (callResult) *callResult = result;
  // A failed call hands nothing back, and a reply without its whole header no
  // return code: the return code is then still the one sent.
  request.SetReturned(result.ok ? result.bytesReturned : 0);
  const std::uint32_t code = request.ReturnCode();
  const bool ok = result.ok && std::find(accepted.begin(), accepted.end(), code) != accepted.end();
  if (!ok && captionId != 0) ShowDriverError(code, res::LoadString(captionId));
  return ok;
}

bool CControllerIo::QueryDriverVersion(AdapterRecord& adapter) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  decode::ResetDriverVersion(adapter);
  auto request = IdeRequest(wire::code::kDriverVersion, wire::length::kDriverVersion);
  request.Put(wire::driver_version::kMajor, std::uint16_t{0x00FF});
  request.Put(wire::driver_version::kMinor, std::uint16_t{0x00FF});
  if (!Send(adapter, request, {0}, 0)) return false;
  if (!decode::DriverVersion(request.Returned().Bytes(), adapter)) return false;
  if (adapter.IsExtended()) model_.extendedNaming = true;
  return true;
}

bool CControllerIo::QueryAdapterInfo(AdapterRecord& adapter) {
  Lock lock(*this);
  bool ok = false;
  {
    platform::WaitCursor wait(*services_.ui);
    decode::ResetAdapterInfo(adapter);
    auto request =
        IdeRequest(wire::code::kAdapterInfo, adapter.IsExtended() ? wire::length::kAdapterInfoExtended
                                                                 : wire::length::kAdapterInfo);
    ok = Send(adapter, request, {0}, 0) && decode::AdapterInfo(request.Returned().Bytes(), adapter);
  }
  if (ok && adapter.IsExtended()) QueryChannelInfo(adapter);
  return ok;
}

bool CControllerIo::QueryChannelInfo(AdapterRecord& adapter) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  for (std::uint16_t c = 0; c < adapter.channelCount && c < kMaxChannels; ++c) {
    auto request = IdeRequest(wire::code::kChannelInfo, wire::length::kChannelInfo);
    request.Put(wire::channel_info::kChannel, c);
    request.Put(wire::channel_info::kCount, std::uint16_t{1});
    platform::ControlResult call;
    if (!Send(adapter, request, {0}, 0, &call)) {
      if (!call.ok) PostDeviceInfoError(call.lastError);
      return false;
    }
    if (!decode::ChannelInfo(request.Returned().Bytes(), adapter.channels[c])) return false;
  }
  return true;
}

bool CControllerIo::QueryDeviceInfo(AdapterRecord& adapter) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  decode::ResetDevices(adapter);

  // Plug and Play looks the disks up under the first adapter with this identifier.
  std::uint32_t pnpIndex = adapter.adapterNumber;
  for (std::size_t n = 0; n < model_.AdapterCount(); ++n) {
    if (model_.Adapter(n)->adapterId == adapter.adapterId) {
      pnpIndex = model_.Adapter(n)->adapterNumber;
      break;
    }
  }

  struct Composed {
    DeviceRecord* device;
    std::uint8_t slot;
  };
  std::vector<Composed> composed;
  bool ok = true;

  if (!adapter.IsExtended()) {
    namespace f = wire::device_info;
    namespace b = wire::device_info::device_block;
    auto request = IdeRequest(wire::code::kDeviceInfo, wire::length::kDeviceInfo);
    request.Put(f::kFirstSlot, std::uint16_t{0});
    request.Put(f::kSlotCount, std::uint16_t{f::kSlots});
    platform::ControlResult call;
    if (!Send(adapter, request, {0}, 0, &call)) {
      if (!call.ok) PostDeviceInfoError(call.lastError);
      return false;
    }
    const wire::Reply reply = request.Returned();
    if (!reply.Holds(f::kReplySize)) return false;
    for (std::uint8_t c = 0; c < 2; ++c) {
      for (std::uint8_t d = 0; d < 2; ++d) {
        if ((adapter.channels[c].flags & (1U << d)) == 0) continue;
        const std::uint8_t slot = static_cast<std::uint8_t>(c * 2 + d);
        const wire::Reply block = reply.Entry(f::DeviceBlock(slot));
        DeviceRecord& device = adapter.channels[c].devices[d];
        device.present = 1;
        decode::ComposeDevice(device, block.Get(b::kFlags), block.Get(b::kModeNumber),
                              block.Get(b::kSectorsPerInterrupt), block.Get(b::kIdentify));
        if (!IsDiskAvailable(pnpIndex, c, d)) device.flags |= kFlagInUse;
        composed.push_back({&device, slot});
      }
    }
  } else {
    const std::size_t slots = adapter.SlotCount();
    for (std::size_t slot = 0; slot < slots; ++slot) {
      namespace f = wire::device_info_extended;
      auto request = IdeRequest(wire::code::kDeviceInfo, wire::length::kDeviceInfoExtended);
      request.Put(f::kSlot, static_cast<std::uint16_t>(slot));
      request.Put(f::kCount, std::uint16_t{1});
      platform::ControlResult call;
      const bool sent = Send(adapter, request, {0}, 0, &call);
      const wire::Reply reply = request.Returned();
      if (!sent || !reply.Holds(f::kReplySize)) {
        if (!call.ok) PostDeviceInfoError(call.lastError);
        // The scan stops here, but the devices read so far are complete.
        ok = false;
        break;
      }
      const std::uint8_t presence = reply.Get(f::kPresence);
      if (presence == 0) continue;
      const std::uint8_t c = reply.Get(f::kChannel), d = reply.Get(f::kDevice);
      if (c >= adapter.channelCount || d >= adapter.devicesPerChannel) continue;
      DeviceRecord& device = adapter.channels[c].devices[d];
      device.present = presence;
      device.valueC = reply.Get(f::kValueC);
      decode::ComposeDevice(device, reply.Get(f::kFlags), reply.Get(f::kModeNumber),
                            reply.Get(f::kSectorsPerInterrupt), reply.Get(f::kIdentify));
      if (IsDiskAvailable(pnpIndex, c, d)) {
        device.flags = 0;
      } else {
        device.flags |= kFlagInUse;
      }
      composed.push_back({&device, static_cast<std::uint8_t>(slot)});
    }
  }

  for (const Composed& item : composed) {
    DeviceRecord& device = *item.device;
    if (decode::SmartTexts(device.identify, device.smartSupport, device.smartEnabled,
                           device.smartStatus)) {
      QueryDeviceSmartStatus(adapter, item.slot, device);
    }
  }
  return ok;
}

bool CControllerIo::FetchEvents(AdapterRecord& adapter, EventBatch& batch) {
  Lock lock(*this);
  auto request = IdeRequest(wire::code::kFetchEvents, wire::length::kFetchEvents, 0xFF);
  request.Put(wire::fetch_events::kCount, std::uint32_t{0xFFFFFFFF});
  batch = EventBatch{};
  if (!Send(adapter, request, {0}, 0)) return false;
  const wire::Reply reply = request.Returned();
  if (!reply.Holds(wire::fetch_events::kReplySize)) return false;
  batch.reportedCount = reply.Get(wire::fetch_events::kCount);
  batch.payload.assign(reply.Bytes().begin(), reply.Bytes().end());
  return true;
}

bool CControllerIo::SetDeviceFeatures(AdapterRecord& adapter, bool writeCacheOn,
                                      const DeviceRecord& device, std::uint8_t channel,
                                      std::uint8_t deviceNumber) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  auto request = IdeRequest(wire::code::kSetDeviceFeatures, wire::length::kSetDeviceFeatures);
  request.Put(wire::device_features::kChannel, channel);
  request.Put(wire::device_features::kDevice, deviceNumber);
  std::uint8_t flags = 0;
  if (platform::EqualsNoCase(device.lookAhead, L"Enabled")) flags |= 0x01;
  if (writeCacheOn) flags |= 0x02;
  request.Put(wire::device_features::kFlags, flags);
  return Send(adapter, request, {0, 1}, 0);
}

bool CControllerIo::SetGpioInterface(AdapterRecord& adapter, std::uint8_t first,
                                     std::uint8_t second) {
  Lock lock(*this);
  auto request = IdeRequest(wire::code::kSetGpioInterface, wire::length::kSetGpioInterface);
  request.Put(wire::gpio_interface::kFirst, first);
  request.Put(wire::gpio_interface::kSecond, second);
  return Send(adapter, request, {0, 7}, res::kStrOpEnableGpio);
}

bool CControllerIo::WriteGpioStatus(AdapterRecord& adapter, bool write, std::uint8_t status) {
  Lock lock(*this);
  auto request = IdeRequest(wire::code::kWriteGpioStatus, wire::length::kWriteGpioStatus);
  request.Put(wire::gpio_status::kWrite, static_cast<std::uint8_t>(write ? 1 : 0));
  request.Put(wire::gpio_status::kStatus, status);
  return Send(adapter, request, {0, 7}, res::kStrOpGpioStatus);
}

bool CControllerIo::QueryRioVersion(AdapterRecord& adapter) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  decode::ResetRioVersion(adapter);
  auto request = RioRequest(wire::code::kRioVersion, wire::length::kRioVersion);
  request.Put(wire::rio_version::kMajor, std::uint16_t{0x00FF});
  request.Put(wire::rio_version::kMinor, std::uint16_t{0x00FF});
  if (!Send(adapter, request, {0}, res::kStrOpGetRioVersion)) return false;
  if (!decode::RioVersion(request.Returned().Bytes(), adapter)) return false;
  memberNumbering_ = false;
  return true;
}

bool CControllerIo::QuerySpareDrives(AdapterRecord& adapter) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  // Every slot, not only the four of the old layout: a spare on a later
  // channel that has gone into a set would stay marked until the devices are
  // read again (the poll would never show it as a plain disk).
  for (ChannelRecord& channel : adapter.channels)
    for (DeviceRecord& device : channel.devices) device.spare = 0;
  auto request = RioRequest(wire::code::kSpareDrives, wire::length::kSpareDrives);
  request.Put(wire::spare_drives::kRoom, std::uint16_t{wire::spare_drives::kMaxEntries});
  if (!Send(adapter, request, {0}, res::kStrOpGetSpareDrives)) return false;
  return decode::SpareDrives(request.Returned().Bytes(), adapter);
}

bool CControllerIo::QuerySets(AdapterRecord& adapter, bool full) {
  Lock lock(*this);
  decode::ResetSets(adapter, full);
  if (full) {
    // A failed status query must not leave the previous answer behind.
    for (SetRecord& set : adapter.sets) set.smartStatus = kUnknown;
  }
  auto request = RioRequest(wire::code::kQuerySets, wire::length::kQuerySets);
  request.Put(wire::query_sets::kFirst, std::uint16_t{0});
  request.Put(wire::query_sets::kRoom, std::uint16_t{wire::query_sets::kMaxSets});
  if (!Send(adapter, request, {0}, 0)) return false;
  const auto payload = request.Returned().Bytes();
  const decode::SetsResult result = decode::Sets(payload, adapter, model_.extendedNaming);
  if (!result.ok) return false;
  for (std::size_t s = 0; s < adapter.setCount; ++s) {
    if (!decode::SetFullyDecoded(payload, s)) continue;
    SetRecord& set = adapter.sets[s];
    if (full) {
      if (IdentifySetDisk(adapter, set.location, set.identify)) decode::SetDiskTexts(set);
      if (decode::SmartTexts(set.identify, set.smartSupport, set.smartEnabled, set.smartStatus))
        QuerySetSmartStatus(adapter, set);
    }
    set.capacity = CapacityText(set.identify, true);
  }
  PostSetHealth(result.allCurrent);
  return true;
}

bool CControllerIo::IdentifySetDisk(AdapterRecord& adapter, std::uint8_t driveNumber,
                                    IdentifyBytes& identify) {
  Lock lock(*this);
  wire::Request request(wire::kSignatureSmart, wire::kTimeout, wire::code::kSmartIdentify,
                        wire::length::kSmartIdentify, wire::kSmartBufferSize,
                        wire::kSmartIdentifyOutSize);
  PutSmartCommand(request, 0, 0, 0, 0xEC, driveNumber);
  platform::ControlResult call;
  // The return code is not looked at: the call's own success counts.
  Send(adapter, request, {0}, 0, &call);
  if (!call.ok) return false;
  const auto data = request.Returned().Get(wire::smart::kIdentify);
  if (data.size() != identify.size()) return false;
  std::copy(data.begin(), data.end(), identify.begin());
  return true;
}

bool CControllerIo::QueryDeviceSmartStatus(AdapterRecord& adapter, std::uint8_t driveNumber,
                                           DeviceRecord& device) {
  Lock lock(*this);
  platform::WaitCursor wait(*services_.ui);
  const bool raid = adapter.IsRaidChip();
  wire::Request request(raid ? wire::kSignatureRio : wire::kSignatureSmart, wire::kTimeout,
                        wire::code::kSmartReturnStatus, wire::length::kSmartStatus,
                        wire::kSmartBufferSize, wire::kSmartBufferSize);
  PutSmartCommand(request, 0xDA, 0x4F, 0xC2, 0xB0, driveNumber);
  platform::ControlResult call;
  Send(adapter, request, {0}, 0, &call);
  if (!call.ok) return false;
  if (decode::SmartStatusNotAvailable(request.Returned().Bytes())) {
    device.smartStatus = kNotApplicable;
    return true;
  }
  const auto status = decode::SmartReturnStatus(request.Returned().Bytes());
  if (!status) return false;
  device.smartStatus = *status ? L"OK" : L"Exceeded";
  return true;
}

bool CControllerIo::QuerySetSmartStatus(AdapterRecord& adapter, SetRecord& set) {
  Lock lock(*this);
  wire::Request request(wire::kSignatureSmart, wire::kSetSmartTimeout,
                        wire::code::kSmartReturnStatus, wire::length::kSmartStatus,
                        wire::kSmartBufferSize, wire::kSmartBufferSize);
  PutSmartCommand(request, 0xDA, 0x4F, 0xC2, 0xB0, set.location);
  platform::ControlResult call;
  Send(adapter, request, {0}, 0, &call);
  if (!call.ok) return false;
  if (decode::SmartStatusNotAvailable(request.Returned().Bytes())) {
    set.smartStatus = kNotApplicable;
    return true;
  }
  const auto status = decode::SmartReturnStatus(request.Returned().Bytes());
  if (!status) return false;
  set.smartStatus = *status ? L"OK" : L"Exceeded";
  return true;
}

}  // namespace kestrune::ctl
