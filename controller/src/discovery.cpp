// Finding the adapters and refreshing them; computer and program information.
#include <array>

#include "controller/controller_io.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::ctl {

namespace {

// Port numbers tried at most: a scan ends at the first port that cannot be
// opened, and this bounds it should every port open.
constexpr std::uint32_t kMaxPorts = 256;

// Reads a REG_SZ value; nullopt when it is missing, not text, or too long.
std::optional<std::wstring> ReadText(platform::Registry& registry, platform::RegKey key,
                                     const std::wstring& name) {
  std::array<std::uint8_t, 1024> buffer{};
  platform::RegType type = platform::RegType::None;
  std::size_t size = 0;
  if (registry.QueryValue(key, name, type, buffer, size) != platform::RegStatus::Ok ||
      type != platform::RegType::Sz)
    return std::nullopt;
  return platform::DecodeRegSz(std::span(buffer.data(), std::min(size, buffer.size())));
}

bool IsKnownChip(const std::wstring& chipModel) {
  return platform::EqualsNoCase(chipModel, L"bv-7210") ||
         platform::EqualsNoCase(chipModel, L"bv-7250");
}

}  // namespace

void CControllerIo::ReadComputerInfo() {
  Lock lock(*this);
  ComputerInfo& info = model_.computer;
  info = ComputerInfo{};
  auto& registry = *services_.registry;
  platform::RegKey key = platform::kNullKey;
  info.mediaPath.clear();
  if (registry.OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion", key) ==
      platform::RegStatus::Ok) {
    if (auto media = ReadText(registry, key, L"MediaPath")) info.mediaPath = *media;
    registry.CloseKey(key);
  }
  info.windowsDirectory = SystemFolder();
  model_.ntFamily = true;
  info.osName = L"Windows NT";
  if (registry.OpenKey(L"Software\\Microsoft\\Windows NT\\CurrentVersion", key) ==
      platform::RegStatus::Ok) {
    if (auto name = ReadText(registry, key, L"ProductName")) info.osName = *name;
    if (auto version = ReadText(registry, key, L"CurrentVersion")) info.osVersion = *version;
    info.servicePack = ReadText(registry, key, L"CSDVersion").value_or(L"Service Pack 0");
    registry.CloseKey(key);
  }
  if (registry.OpenKey(L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", key) ==
      platform::RegStatus::Ok) {
    if (auto name = ReadText(registry, key, L"ComputerName")) info.computerName = *name;
    registry.CloseKey(key);
  }
}

void CControllerIo::ReadProgramInfo(const std::wstring& executablePath) {
  Lock lock(*this);
  ProgramInfo& info = model_.program;
  const auto block = services_.files->VersionResource(executablePath);
  if (!block) return;
  const std::wstring base = L"\\StringFileInfo\\040904b0\\";
  info.productName = platform::QueryVersionString(*block, base + L"ProductName").value_or(L"");
  info.companyName = platform::QueryVersionString(*block, base + L"CompanyName").value_or(L"");
  info.productVersion =
      platform::QueryVersionString(*block, base + L"ProductVersion").value_or(L"");
  info.legalCopyright =
      platform::QueryVersionString(*block, base + L"LegalCopyright").value_or(L"");
}

bool CControllerIo::Discover() {
  Lock lock(*this);
  ReleaseAdapters();
  auto& control = *services_.deviceControl;
  for (std::uint32_t port = 0; port < kMaxPorts; ++port) {
    const std::wstring name = L"\\\\.\\scsi" + std::to_wstring(port) + L":";
    const platform::DeviceHandle handle = control.Open(name, nullptr);
    if (handle == platform::kInvalidDeviceHandle) break;

    auto record = std::make_unique<AdapterRecord>();
    record->handle = handle;
    record->adapterNumber = model_.entryCount - 1;
    AdapterRecord& adapter = *record;
    model_.adapters[model_.entryCount] = std::move(record);
    const auto discard = [&] {
      control.Close(handle);
      model_.adapters[model_.entryCount].reset();
    };
    if (!QueryDriverVersion(adapter)) {
      discard();
      continue;
    }
    QueryAdapterInfo(adapter);
    const bool recognised = adapter.IsExtended()
                                ? !platform::EqualsNoCase(adapter.adapterName, kUnknown)
                                : IsKnownChip(adapter.chipModel);
    if (!recognised) {
      discard();
      continue;
    }
    if (++model_.entryCount == kMaxAdapters + 1) break;
  }
  if (model_.entryCount == 1) return false;
  for (std::size_t n = 0; n < model_.AdapterCount(); ++n) RefreshAdapter(*model_.Adapter(n));
  return true;
}

std::uint8_t CControllerIo::ComposeGpioStatus(const AdapterRecord& adapter) const {
  unsigned status = 0xF0;
  for (std::size_t s = 0; s < adapter.setCount && s < kMaxSets; ++s) {
    const SetRecord& set = adapter.sets[s];
    for (std::size_t k = 0; k < set.memberCount && k < kMaxMembers; ++k) {
      const MemberRecord& member = set.members[k];
      if (member.status == MemberStatus::kRebuild && member.deviceIndex < 4)
        status &= ~(0x10U << member.deviceIndex);
    }
  }
  for (std::size_t c = 0; c < adapter.channelCount && c < kMaxChannels; ++c) {
    if (adapter.channels[c].devices[0].present != 0) status |= 1U << c;
  }
  return static_cast<std::uint8_t>(status & 0xFF);
}

void CControllerIo::RefreshAdapter(AdapterRecord& adapter) {
  Lock lock(*this);
  QueryDriverVersion(adapter);
  ReadAdapterState(adapter, true);
  if (adapter.driverMajor >= 2 && adapter.driverMinor != 0) {
    SetGpioInterface(adapter, 1, 255);
    adapter.gpioStatus = ComposeGpioStatus(adapter);
    WriteGpioStatus(adapter, true, adapter.gpioStatus);
  }
}

}  // namespace kestrune::ctl
