// The registry: a typed, hierarchical store of keys and values. Paths are
// relative to HKEY_LOCAL_MACHINE, separated by backslashes and compared without
// regard to case ("Software\\Brevalis\\Kestrune").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::platform {

enum class RegType : std::uint32_t { None = 0, Sz = 1, Binary = 3, Dword = 4 };

// Windows error numbers, so callers can show them as the platform would.
enum class RegStatus : std::uint32_t {
  Ok = 0,
  NotFound = 2,
  AccessDenied = 5,
  InvalidHandle = 6,
  InvalidParameter = 87,
  MoreData = 234,
  Failed = 1359,  // the store itself failed (I/O, corrupt database)
};

using RegKey = std::uint64_t;
inline constexpr RegKey kNullKey = 0;

struct RegValue {
  std::wstring name;
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;  // REG_SZ: UTF-16LE with its terminating NUL; REG_DWORD: 4 bytes LE
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Creates the key (and missing parents) or opens it when it exists. The class
  // string is stored only when the key is created. *created tells which happened.
  virtual RegStatus CreateKey(const std::wstring& path, const std::wstring& keyClass, RegKey& key,
                              bool* created = nullptr) = 0;
  virtual RegStatus OpenKey(const std::wstring& path, RegKey& key) = 0;
  virtual void CloseKey(RegKey key) = 0;

  // Reads a value into the caller's buffer. size receives the value's length in
  // bytes. A value longer than the buffer fails with MoreData and leaves the
  // buffer untouched; type is set in both cases.
  virtual RegStatus QueryValue(RegKey key, const std::wstring& name, RegType& type,
                               std::span<std::uint8_t> buffer, std::size_t& size) = 0;

  // Writes a value; it is on disk when the call returns Ok.
  virtual RegStatus SetValue(RegKey key, const std::wstring& name, RegType type,
                             std::span<const std::uint8_t> data) = 0;
  // Writes several values of one key, in order; a store that can makes them
  // one change, on disk together. A value that cannot be written is left out
  // and the first such failure returned; the others are written all the same.
  virtual RegStatus SetValues(RegKey key, std::span<const RegValue> values) {
    RegStatus result = RegStatus::Ok;
    for (const RegValue& value : values) {
      const RegStatus status = SetValue(key, value.name, value.type, value.data);
      if (result == RegStatus::Ok) result = status;
    }
    return result;
  }
  virtual RegStatus DeleteValue(RegKey key, const std::wstring& name) = 0;

  // Deletes a key with all its sub-keys and values.
  virtual RegStatus DeleteKeyTree(const std::wstring& path) = 0;

  virtual RegStatus KeyClass(RegKey key, std::wstring& keyClass) = 0;
  // Names of the direct sub-keys, in creation order.
  virtual RegStatus SubKeys(RegKey key, std::vector<std::wstring>& names) = 0;
  // All values of the key, in creation order.
  virtual RegStatus Values(RegKey key, std::vector<RegValue>& values) = 0;
};

// REG_SZ and REG_DWORD encodings.
std::vector<std::uint8_t> EncodeRegSz(std::wstring_view text);
std::vector<std::uint8_t> EncodeRegDword(std::uint32_t value);
// Decodes REG_SZ bytes up to the first NUL (or the end); odd trailing byte ignored.
std::wstring DecodeRegSz(std::span<const std::uint8_t> data);

}  // namespace kestrune::platform
