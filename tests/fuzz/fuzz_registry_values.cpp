// Feeds arbitrary stored values to the two readers of registry values: the
// settings' load (its 440-byte text buffer, REG_SZ and REG_DWORD checks and
// the fallback to defaults) and kestrune-reg's query and export output; the
// first byte's low bit picks which. The store is a stand-in that answers every
// read from the rest of the input: per value a status byte, a type byte, a
// 16-bit length and that many data bytes. Whatever the settings took must
// come back the same through a save and a second load.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "platform/null_services.h"
#include "platform/registry.h"
#include "reg_command.h"
#include "settings/app_settings.h"

namespace {

using namespace kestrune;
using platform::RegKey;
using platform::RegStatus;
using platform::RegType;
using platform::RegValue;

void Require(bool condition) {
  if (!condition) std::abort();
}

// One key, whose values come from the input while it lasts and from what was
// written afterwards.
class InputRegistry final : public platform::Registry {
 public:
  explicit InputRegistry(std::span<const std::uint8_t> input) : input_(input) {}

  RegStatus CreateKey(const std::wstring&, const std::wstring&, RegKey& key, bool*) override {
    key = 1;
    return RegStatus::Ok;
  }
  RegStatus OpenKey(const std::wstring&, RegKey& key) override {
    key = 1;
    return RegStatus::Ok;
  }
  void CloseKey(RegKey) override {}

  RegStatus QueryValue(RegKey, const std::wstring& name, RegType& type,
                       std::span<std::uint8_t> buffer, std::size_t& size) override {
    RegValue value;
    const RegStatus status = Next(name, value);
    if (status != RegStatus::Ok) return status;
    type = value.type;
    size = value.data.size();
    if (value.data.size() > buffer.size()) return RegStatus::MoreData;
    std::copy(value.data.begin(), value.data.end(), buffer.begin());
    return RegStatus::Ok;
  }
  RegStatus SetValue(RegKey, const std::wstring& name, RegType type,
                     std::span<const std::uint8_t> data) override {
    written_[name] = {name, type, std::vector<std::uint8_t>(data.begin(), data.end())};
    return RegStatus::Ok;
  }
  RegStatus DeleteValue(RegKey, const std::wstring&) override { return RegStatus::NotFound; }
  RegStatus DeleteKeyTree(const std::wstring&) override { return RegStatus::AccessDenied; }
  RegStatus KeyClass(RegKey, std::wstring& keyClass) override {
    keyClass.clear();
    return RegStatus::Ok;
  }
  RegStatus SubKeys(RegKey, std::vector<std::wstring>& names) override {
    names.clear();
    return RegStatus::Ok;
  }
  RegStatus Values(RegKey, std::vector<RegValue>& values) override {
    values.clear();
    for (int i = 0; i < 4 && pos_ < input_.size(); ++i) {
      RegValue value;
      if (Next(L"v" + std::to_wstring(i), value) == RegStatus::Ok) values.push_back(value);
    }
    return RegStatus::Ok;
  }

  // From now on every read answers what was written.
  void ReadBackWrites() { pos_ = input_.size(); }

 private:
  RegStatus Next(const std::wstring& name, RegValue& value) {
    if (pos_ >= input_.size()) {
      const auto it = written_.find(name);
      if (it == written_.end()) return RegStatus::NotFound;
      value = it->second;
      return RegStatus::Ok;
    }
    const std::uint8_t status = Take();
    value.name = name;
    value.type = static_cast<RegType>(Take() % 6);
    // Lengths up to 1023: past the settings' 440-byte buffer, not much further.
    // Both bytes taken before what is left is measured.
    const std::size_t low = Take();
    const std::size_t high = Take();
    const std::size_t length =
        std::min<std::size_t>((low | (high << 8)) & 0x3FF, input_.size() - pos_);
    value.data.assign(input_.begin() + static_cast<std::ptrdiff_t>(pos_),
                      input_.begin() + static_cast<std::ptrdiff_t>(pos_ + length));
    pos_ += length;
    switch (status % 8) {
      case 0:
        return RegStatus::NotFound;
      case 1:
        return RegStatus::Failed;
      default:
        return RegStatus::Ok;
    }
  }
  std::uint8_t Take() { return pos_ < input_.size() ? input_[pos_++] : 0; }

  std::span<const std::uint8_t> input_;
  std::size_t pos_ = 0;
  std::map<std::wstring, RegValue> written_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  platform::DecodeRegSz(input);

  if ((data[0] & 1) != 0) {
    // kestrune-reg shows and exports whatever the store holds.
    InputRegistry shown(input);
    tools::RegCommand query;
    query.path = L"Software\\Brevalis\\Kestrune";
    query.displayPath = "HKEY_LOCAL_MACHINE\\Software\\Brevalis\\Kestrune";
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    tools::ExecuteRegCommand(query, shown, in, out, err);
    std::string text;
    std::string error;
    tools::ExportText(shown, query.path, query.displayPath, text, error);
    return 0;
  }

  auto registry = std::make_shared<InputRegistry>(input);
  auto ui = std::make_shared<platform::NullUi>();
  settings::AppSettings first(registry, ui);
  first.Load(L"FUZZ", {});
  const settings::AppSettings::Values loaded = first.Get();
  // A text the settings took fits their read buffer again.
  for (const std::wstring* text :
       {&loaded.smtpServer, &loaded.logFileLocation, &loaded.logFileName, &loaded.eventList,
        &loaded.eventSubject, &loaded.emailSubject, &loaded.audioError})
    Require(text->size() < 220);

  // Saved and loaded again, the same values.
  first.Save();
  registry->ReadBackWrites();
  settings::AppSettings second(registry, ui);
  second.Load(L"FUZZ", {});
  Require(second.Get() == loaded);
  return 0;
}
