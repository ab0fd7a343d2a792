// Device control: opening a port device by name and one device-control call on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kestrune::platform {

using DeviceHandle = std::uint64_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = 0;

// Control codes of the device-control calls the program makes.
inline constexpr std::uint32_t kIoctlScsiMiniport = 0x4D008;
inline constexpr std::uint32_t kIoctlStorageResetBus = 0x2D5000;

// System error codes a failed call reports (the Windows numbering, which the
// program shows to the user).
namespace syserr {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kGenFailure = 31;
inline constexpr std::uint32_t kNotSupported = 50;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kIoDevice = 1117;
}  // namespace syserr

struct ControlResult {
  bool ok = false;                  // the call's own result (nonzero on Windows)
  std::uint32_t bytesReturned = 0;  // bytes written to the output
  std::uint32_t lastError = 0;      // system error code when !ok
};

class DeviceControl {
 public:
  virtual ~DeviceControl() = default;

  // Opens a device such as L"\\\\.\\scsi0:" for reading and writing.
  // Returns kInvalidDeviceHandle (with the reason in *lastError when given) when
  // no such device exists.
  virtual DeviceHandle Open(const std::wstring& name, std::uint32_t* lastError = nullptr) = 0;

  // One device-control call. The first inSize bytes of buffer are the input;
  // the reply is written into buffer, at most outSize bytes. The caller
  // guarantees buffer.size() >= max(inSize, outSize); an implementation never
  // touches bytes beyond that.
  virtual ControlResult Control(DeviceHandle handle, std::uint32_t code,
                                std::span<std::uint8_t> buffer, std::size_t inSize,
                                std::size_t outSize) = 0;

  virtual void Close(DeviceHandle handle) = 0;
};

}  // namespace kestrune::platform
