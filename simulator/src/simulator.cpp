// One simulated machine: the driver, the device manager over the driver's
// topology, and the driver files in the simulated system folder.
#include "simulator/simulator.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <utility>

#include "platform/text.h"

namespace kestrune::sim {
namespace {

// Scenario texts are UTF-8.
std::wstring Widen(const std::string& utf8) {
  return platform::FromUtf8(utf8);
}

std::wstring Lower(const std::wstring& text) {
  return platform::ToLowerAscii(text);
}

// Windows paths take either separator and ignore repeated ones.
std::wstring NormalizePath(const std::wstring& path) {
  std::wstring out;
  for (wchar_t c : path) {
    if (c == L'\\') c = L'/';
    if (c == L'/' && !out.empty() && out.back() == L'/') continue;
    out.push_back(c);
  }
  return out;
}

// "2006-03-14T09:26:53Z" (a UTC offset or no zone at all is taken too).
std::optional<std::time_t> ParseIso8601(const std::string& iso) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
  if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6)
    return std::nullopt;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60)
    return std::nullopt;
  std::string_view rest(iso.c_str() + consumed);
  if (!rest.empty() && rest.front() == '.') {
    rest.remove_prefix(1);
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
  }
  long offsetSeconds = 0;
  if (!rest.empty() && rest != "Z") {
    int oh = 0, om = 0;
    if (rest.size() != 6 || (rest[0] != '+' && rest[0] != '-') || rest[3] != ':' ||
        std::sscanf(std::string(rest.substr(1)).c_str(), "%2d:%2d", &oh, &om) != 2 || oh < 0 ||
        oh > 23 || om < 0 || om > 59)
      return std::nullopt;
    offsetSeconds = (rest[0] == '+' ? 1 : -1) * (oh * 3600L + om * 60L);
  }
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  return timegm(&utc) - offsetSeconds;
}

// The C library's ctime text in the local time zone as it is now, without the
// line end.
std::optional<std::string> CtimeText(std::time_t when) {
  char buffer[64] = {};
  if (ctime_r(&when, buffer) == nullptr) return std::nullopt;
  std::string text(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

struct DriverFile {
  std::vector<std::uint8_t> versionBlock;
  std::optional<std::time_t> modified;
};

// The name the program looks for: the adapter name for extended adapters,
// else by chip type.
std::wstring DriverFileName(const AdapterSpec& adapter) {
  if (adapter.driverMajor >= 2) return Lower(Widen(adapter.name));
  return adapter.chipType == 1 ? L"bv7210" : L"bv7210r";
}

std::vector<std::uint8_t> DriverVersionBlock(const std::wstring& name, const DriverFileSpec& file) {
  const std::wstring version = Widen(file.fileVersion);
  platform::VersionInfoSpec info;
  info.tables.push_back({L"000004b0",
                         {{L"CompanyName", L"Brevalis"},
                          {L"FileDescription", L"Brevalis Serial ATA RAID miniport driver"},
                          {L"FileVersion", version},
                          {L"InternalName", name + L".sys"},
                          {L"OriginalFilename", name + L".sys"},
                          {L"ProductName", L"Brevalis Serial ATA RAID"},
                          {L"ProductVersion", version}}});
  info.translations = {{0x0000, 0x04B0}};
  return platform::BuildVersionResource(info);
}

// The simulated system folder holds the adapters' driver files and nothing
// else; paths outside it are the real machine's.
class SimulatedFiles final : public platform::Files {
 public:
  SimulatedFiles(const Scenario& scenario, std::wstring root,
                 std::shared_ptr<platform::Files> realFiles)
      : root_(Lower(NormalizePath(root))), realFiles_(std::move(realFiles)) {
    for (const auto& adapter : scenario.adapters) {
      if (!adapter.driverFile) continue;
      const std::wstring name = DriverFileName(adapter);
      if (name.empty() || files_.count(name) != 0) continue;  // first adapter of a name wins
      files_[name] = DriverFile{DriverVersionBlock(name, *adapter.driverFile),
                                ParseIso8601(adapter.driverFile->modified)};
    }
  }

  std::optional<std::string> ModificationTimeText(const std::wstring& path) override {
    bool inside = false;
    const DriverFile* file = Lookup(path, inside);
    if (!inside) return realFiles_ ? realFiles_->ModificationTimeText(path) : std::nullopt;
    if (file == nullptr || !file->modified) return std::nullopt;
    return CtimeText(*file->modified);
  }

  std::optional<std::vector<std::uint8_t>> VersionResource(const std::wstring& path) override {
    bool inside = false;
    const DriverFile* file = Lookup(path, inside);
    if (!inside) return realFiles_ ? realFiles_->VersionResource(path) : std::nullopt;
    if (file == nullptr) return std::nullopt;
    return file->versionBlock;
  }

 private:
  // The driver file at `path`; `inside` tells whether the path lies in the
  // simulated system folder at all. Names are matched without regard to case.
  const DriverFile* Lookup(const std::wstring& path, bool& inside) const {
    const std::wstring normal = Lower(NormalizePath(path));
    inside = normal.compare(0, root_.size(), root_) == 0;
    if (!inside) return nullptr;
    static const std::wstring kFolder = L"system32/drivers/";
    static const std::wstring kExtension = L".sys";
    const std::wstring rest = normal.substr(root_.size());
    if (rest.size() <= kFolder.size() + kExtension.size() ||
        rest.compare(0, kFolder.size(), kFolder) != 0 ||
        rest.compare(rest.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
      return nullptr;
    const std::wstring name =
        rest.substr(kFolder.size(), rest.size() - kFolder.size() - kExtension.size());
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : &it->second;
  }

  std::wstring root_;
  std::shared_ptr<platform::Files> realFiles_;
  std::map<std::wstring, DriverFile> files_;
};

std::wstring SystemRoot(const Scenario& scenario) {
  std::wstring root = Widen(scenario.systemRoot);
  if (root.empty() || (root.back() != L'/' && root.back() != L'\\')) root.push_back(L'/');
  return root;
}

}  // namespace

Simulator::Simulator(Scenario scenario, std::shared_ptr<platform::Clock> clock,
                     std::shared_ptr<platform::Files> realFiles)
    : mediaPath_(SystemRoot(scenario) + L"Media") {
  files_ = std::make_shared<SimulatedFiles>(scenario, SystemRoot(scenario), std::move(realFiles));
  driver_ = std::make_shared<SimulatedDriver>(std::move(scenario), std::move(clock));
  deviceControl_ = std::make_shared<SimulatedDeviceControl>(driver_);
  deviceManager_ = std::make_shared<SimulatedDeviceManager>(driver_);
}

std::wstring Simulator::MediaPath() const {
  return mediaPath_;
}

}  // namespace kestrune::sim
