// Reply decoders: pure functions from the reply payload bytes the driver
// returned to model fields, read through the layouts of wire_layout.h. A
// decoder that answers false found the reply shorter than its layout (or, where
// said, malformed) and has changed no field. Every reply value that would
// address a channel, slot, set or member outside the model's limits is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "controller/model.h"

namespace kestrune::ctl::decode {

using Bytes = std::span<const std::uint8_t>;

void ResetDriverVersion(AdapterRecord& adapter);
// Stores the version (major 2 or more makes the adapter extended).
bool DriverVersion(Bytes payload, AdapterRecord& adapter);

void ResetAdapterInfo(AdapterRecord& adapter);
// The short form, or the long one when the adapter is extended.
bool AdapterInfo(Bytes payload, AdapterRecord& adapter);

bool ChannelInfo(Bytes payload, ChannelRecord& channel);

// Resets the device slots of the adapter to their presets.
void ResetDevices(AdapterRecord& adapter);
// Composes a device's texts from what the driver delivered (SMART status aside).
void ComposeDevice(DeviceRecord& device, std::uint32_t flags, std::uint32_t modeNumber,
                   std::uint32_t sectorsPerInterrupt, Bytes identify);
// SMART support and enabled texts; true when the status must be asked for.
bool SmartTexts(const IdentifyBytes& identify, std::wstring& support, std::wstring& enabled,
                std::wstring& status);

void ResetRioVersion(AdapterRecord& adapter);
bool RioVersion(Bytes payload, AdapterRecord& adapter);

// Also false when the reply lists more spare drives than it had room for.
bool SpareDrives(Bytes payload, AdapterRecord& adapter);

void ResetSets(AdapterRecord& adapter, bool full);
struct SetsResult {
  bool ok = false;         // false when the reply is short or counts more sets than it had room for
  bool allCurrent = true;  // every member read is current
};
// Everything of a set reply but the set-disk queries and the capacity text.
SetsResult Sets(Bytes payload, AdapterRecord& adapter, bool extendedNaming);
// True for sets whose descriptor was decoded in full (known type, members within bounds).
bool SetFullyDecoded(Bytes payload, std::size_t setIndex);
// Set name and meta version from the set's identify data (words swapped in place).
void SetDiskTexts(SetRecord& set);

// SMART RETURN STATUS: nullopt when the reply is short or the driver reports an
// error, else true for "OK" and false for "Exceeded".
std::optional<bool> SmartReturnStatus(Bytes payload);
// True when the driver answered that the status cannot be asked now (driver
// error 9, "not supported": no privilege, or a disk left asleep): the status
// is then "N/A", never a health that was not read.
bool SmartStatusNotAvailable(Bytes payload);

}  // namespace kestrune::ctl::decode
