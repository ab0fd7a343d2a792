#include "views/device_options.h"

#include <array>
#include <cstdint>

#include "settings/app_settings.h"
#include "unicode/codec.h"

namespace kestrune::views {

namespace {

// A value longer than this is not one this program wrote; it is left alone.
constexpr std::size_t kLargestValueBytes = 64 * 1024;

std::u16string Units(std::span<const std::uint8_t> bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return units;
}

}  // namespace

std::wstring DeviceValueName(const ctl::DeviceRecord& device) {
  return device.modelNumber + device.firmwareVersion;
}

std::optional<std::u16string> ReadDeviceText(platform::Registry& registry, platform::RegKey key,
                                             const std::wstring& name) {
  if (key == platform::kNullKey) return std::nullopt;
  std::array<std::uint8_t, settings::kTextBufferBytes> buffer{};
  platform::RegType type = platform::RegType::None;
  std::size_t size = 0;
  platform::RegStatus status = registry.QueryValue(key, name, type, buffer, size);
  if (status == platform::RegStatus::MoreData && type == platform::RegType::Sz &&
      size <= kLargestValueBytes) {
    std::vector<std::uint8_t> whole(size);
    status = registry.QueryValue(key, name, type, whole, size);
    if (status != platform::RegStatus::Ok || type != platform::RegType::Sz) return std::nullopt;
    return Units(std::span<const std::uint8_t>(whole).first(std::min(size, whole.size())));
  }
  if (status != platform::RegStatus::Ok || type != platform::RegType::Sz) return std::nullopt;
  return Units(std::span<const std::uint8_t>(buffer).first(std::min(size, buffer.size())));
}

bool WriteDeviceText(platform::Registry& registry, platform::RegKey key, const std::wstring& name,
                     std::u16string_view text) {
  if (key == platform::kNullKey) return false;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * text.size() + 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return registry.SetValue(key, name, platform::RegType::Sz, bytes) == platform::RegStatus::Ok;
}

std::u16string RemoveOption(std::u16string text, std::u16string_view option) {
  for (std::size_t at = text.find(option); at != std::u16string::npos; at = text.find(option, at)) {
    const std::size_t separator = text.find(u';', at + option.size());
    text.erase(at, separator == std::u16string::npos ? std::u16string::npos : separator + 1 - at);
  }
  return text;
}

std::u16string AppendOption(std::u16string text, std::u16string_view option) {
  if (!text.empty() && text.back() != u';') text.push_back(u';');
  text.append(option);
  return text;
}

std::optional<std::wstring> StoredMaxMode(std::u16string_view options) {
  const std::size_t at = options.find(kMaxModeOption);
  if (at == std::u16string_view::npos) return std::nullopt;
  std::u16string_view mode = options.substr(at + kMaxModeOption.size());
  mode = mode.substr(0, mode.find(u';'));
  std::wstring text = unicode::FromUtf16(mode);
  for (wchar_t& c : text)
    if (c == L'-') c = L' ';
  return text;
}

std::u16string ModeAsStored(std::wstring_view mode) {
  std::u16string stored = unicode::ToUtf16(mode);
  for (char16_t& c : stored)
    if (c == u' ') c = u'-';
  return stored;
}

std::vector<std::wstring> SupportedModeEntries(std::wstring_view supportedModes) {
  std::vector<std::wstring> entries;
  for (std::size_t comma = supportedModes.find(L','); comma != std::wstring_view::npos;
       comma = supportedModes.find(L',')) {
    entries.emplace_back(supportedModes.substr(0, comma));
    supportedModes.remove_prefix(comma + 1);
  }
  return entries;
}

std::optional<std::u16string> OptionsForMode(const std::optional<std::u16string>& current,
                                             const std::optional<std::wstring>& chosen,
                                             const std::optional<std::u16string>& defaultMode) {
  const std::u16string kept = RemoveOption(current.value_or(std::u16string()), kMaxModeOption);
  std::u16string option(kMaxModeOption);
  if (chosen) {
    option += ModeAsStored(*chosen);
  } else if (defaultMode) {
    option += *defaultMode;
  } else {
    return std::nullopt;
  }
  return AppendOption(kept, option);
}

std::u16string OptionsForWriteCache(const std::optional<std::u16string>& current, bool on) {
  std::u16string kept = current.value_or(std::u16string());
  kept = RemoveOption(std::move(kept), kEnableWriteCacheOption);
  kept = RemoveOption(std::move(kept), kDisableWriteCacheOption);
  return AppendOption(std::move(kept), on ? kEnableWriteCacheOption : kDisableWriteCacheOption);
}

ShownDevice ReadShownDevice(NodeContext& context, const NodeRef& node) {
  ShownDevice shown;
  platform::WaitCursor wait(context.Ui());
  ctl::CControllerIo& io = context.Io();
  ctl::CControllerIo::Lock lock(io);
  ResolvedNode found = Resolve(io.Model(), node);
  if (found.adapter == nullptr) return shown;
  io.RereadSpares(node.adapter);
  found = Resolve(io.Model(), node);
  if (found.device == nullptr) return shown;
  shown.found = true;
  shown.record = *found.device;
  shown.optionsKey = found.adapter->problemDeviceKey;
  shown.defaultModeKey = found.adapter->devicesDefModeKey;
  return shown;
}

}  // namespace kestrune::views
