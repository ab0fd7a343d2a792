// A device's two registry values that the driver reads at start-up: its
// option list under the adapter's problem-device key ("MaxMode = UDMA-5",
// "EnableWriteCache" or "DisableWriteCache", separated by ";") and its
// default mode under DevicesDefMode. Both are named by the device's model
// number text followed at once by its firmware version text.
//
// The texts are kept as UTF-16 code units, as stored: parts of a value this
// program does not know (other options, units that are no valid UTF-16) are
// written back exactly as they were read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controller/model.h"
#include "platform/registry.h"
#include "views/node_page.h"

namespace kestrune::views {

inline constexpr std::u16string_view kMaxModeOption = u"MaxMode = ";
inline constexpr std::u16string_view kEnableWriteCacheOption = u"EnableWriteCache";
inline constexpr std::u16string_view kDisableWriteCacheOption = u"DisableWriteCache";

// The value name of a device's options and default mode.
std::wstring DeviceValueName(const ctl::DeviceRecord& device);

// Reads a text value: its code units up to the first NUL. A value read into
// 440 bytes at first; one that is longer is read whole (up to 64 KiB), so
// that rewriting it keeps what this program does not know. Nothing when the
// key or value is missing, the value is no text, or it cannot be read.
std::optional<std::u16string> ReadDeviceText(platform::Registry& registry, platform::RegKey key,
                                             const std::wstring& name);
// Writes a text value (REG_SZ with its NUL); false when the store refused.
bool WriteDeviceText(platform::Registry& registry, platform::RegKey key, const std::wstring& name,
                     std::u16string_view text);

// Removes every occurrence of `option`, each through the ";" that follows
// it, or to the end when none follows.
std::u16string RemoveOption(std::u16string text, std::u16string_view option);
// Appends `option`, with a ";" before it unless `text` is empty or already
// ends with one.
std::u16string AppendOption(std::u16string text, std::u16string_view option);
// The mode of a "MaxMode = " option with each "-" as a blank ("UDMA 5"), up
// to the next ";"; nothing when there is no such option.
std::optional<std::wstring> StoredMaxMode(std::u16string_view options);

// A mode name as stored: every blank as "-".
std::u16string ModeAsStored(std::wstring_view mode);
// The entries of a supported-modes text ("UDMA 5,UDMA 4,"): each one that a
// comma ends, without it. A last piece without its comma is no entry.
std::vector<std::wstring> SupportedModeEntries(std::wstring_view supportedModes);

// The options after "Mode After Reboot" was applied: `chosen` a mode, or
// nothing for "Default", which sets the stored default mode (`defaultMode`,
// as stored) when there is one. Nothing when there is nothing to write.
std::optional<std::u16string> OptionsForMode(const std::optional<std::u16string>& current,
                                             const std::optional<std::wstring>& chosen,
                                             const std::optional<std::u16string>& defaultMode);
// The options after the write cache was switched on or off.
std::u16string OptionsForWriteCache(const std::optional<std::u16string>& current, bool on);

// What the device pages show of their device: a copy of its record, its
// place, and the keys of its two values.
struct ShownDevice {
  bool found = false;
  ctl::DeviceRecord record;
  platform::RegKey optionsKey = platform::kNullKey;       // the problem-device key
  platform::RegKey defaultModeKey = platform::kNullKey;  // DevicesDefMode
};
// Reads the adapter's spare drives first when it has a RAID chip (they mark
// the device's use), then copies the device node's record.
ShownDevice ReadShownDevice(NodeContext& context, const NodeRef& node);

}  // namespace kestrune::views
