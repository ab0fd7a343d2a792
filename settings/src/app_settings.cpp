#include "settings/app_settings.h"

#include <array>
#include <span>
#include <utility>

#include "platform/text.h"
#include "platform/user_folders.h"
#include "resources/strings.h"

namespace kestrune::settings {

namespace {

using platform::kNullKey;
using platform::RegKey;
using platform::RegStatus;
using platform::RegType;

// One row of the transfer table: a text or a number member, never both.
struct Entry {
  const wchar_t* name;
  std::wstring AppSettings::Values::*text;
  std::uint32_t AppSettings::Values::*number;
};

using V = AppSettings::Values;

// Load and save always go through the values in exactly this order.
const std::array<Entry, 24> kEntries{{
    {kSmtpServerName, &V::smtpServer, nullptr},
    {kLogFileLocationName, &V::logFileLocation, nullptr},
    {kLogFileNameName, &V::logFileName, nullptr},
    {kLogFileEnabledName, &V::logFileEnabled, nullptr},
    {kAutoSaveAndPurgeName, &V::autoSaveAndPurge, nullptr},
    {kLogFileSizeName, nullptr, &V::logFileSize},
    {kDebugModeEnabledName, &V::debugModeEnabled, nullptr},
    {kDefaultEmailName, &V::defaultEmail, nullptr},
    {kEmailListName, &V::emailList, nullptr},
    {kEmailSubjectName, &V::emailSubject, nullptr},
    {kEmailEventLevelName, nullptr, &V::emailEventLevel},
    {kEventSubjectName, &V::eventSubject, nullptr},
    {kEventListName, &V::eventList, nullptr},
    {kAudioInformationalName, &V::audioInformational, nullptr},
    {kAudioWarningName, &V::audioWarning, nullptr},
    {kAudioErrorName, &V::audioError, nullptr},
    {kPopupEventLevelName, nullptr, &V::popupEventLevel},
    {kSmtpPortName, nullptr, &V::smtpPort},
    {kSmtpSecurityName, &V::smtpSecurity, nullptr},
    {kSmtpUserName, &V::smtpUser, nullptr},
    {kSmtpCaFileName, &V::smtpCaFile, nullptr},
    {kEventProgramName, &V::eventProgram, nullptr},
    {kProgramEventLevelName, nullptr, &V::programEventLevel},
    {kProgramTimeLimitName, nullptr, &V::programTimeLimit},
}};

std::size_t Utf16Units(wchar_t c) {
  return static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
}

std::size_t Utf16Units(const std::wstring& text) {
  std::size_t units = 0;
  for (const wchar_t c : text) units += Utf16Units(c);
  return units;
}

// Decodes a REG_SZ value read from the registry. It must be whole UTF-16
// code units ending in a NUL unit, without unpaired surrogates; the text is
// what precedes the first NUL.
bool DecodeText(std::span<const std::uint8_t> data, std::wstring& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::size_t units = data.size() / 2;
  const auto unit = [&](std::size_t i) {
    return static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  };
  if (unit(units - 1) != 0) return false;
  std::size_t length = 0;
  while (unit(length) != 0) ++length;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= length || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF) return false;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  text = platform::FromUtf16Le(data.first(length * 2));
  return true;
}

}  // namespace

AppSettings::Values AppSettings::Defaults(const std::wstring& computerName) {
  const std::wstring computer = computerName.empty() ? L"Unknown" : computerName;
  Values v;
  v.smtpServer = kDefaultSmtpServer;
  v.logFileLocation = DefaultLogLocation();
  v.logFileName = L"errlgr.txt";
  v.logFileEnabled = L"TRUE";
  v.autoSaveAndPurge = L"FALSE";
  v.logFileSize = 0x80000;
  v.debugModeEnabled = L"FALSE";
  v.defaultEmail = L"";
  v.emailList = L"";
  v.emailSubject = L"Kestrune - Configuration information from system " + computer + L".";
  v.emailEventLevel = 0;
  v.eventSubject = L"Kestrune - Event from system " + computer + L".";
  v.eventList = L"";
  v.audioInformational = L"Disabled";
  v.audioWarning = L"Disabled";
  v.audioError = L"Disabled";
  v.popupEventLevel = 1;
  // These keep the mail as it always was: plain, port 25, no account.
  v.smtpPort = kDefaultSmtpPort;
  v.smtpSecurity = kSecurityNone;
  v.smtpUser = L"";
  v.smtpCaFile = L"";
  v.eventProgram = L"";
  v.programEventLevel = 0;
  v.programTimeLimit = kDefaultProgramTimeLimit;
  return v;
}

std::wstring AppSettings::DefaultLogLocation() {
  return platform::FromUtf8(platform::StateFolder()) + L"kestrune/";
}

AppSettings::AppSettings(std::shared_ptr<platform::Registry> registry,
                         std::shared_ptr<platform::UiServices> ui)
    : registry_(std::move(registry)), ui_(std::move(ui)), values_(Defaults(L"Unknown")) {}

AppSettings::~AppSettings() {
  CloseKeys();
}

void AppSettings::CloseKeys() {
  std::vector<RegKey> keys;
  {
    std::lock_guard lock(mutex_);
    keys = std::exchange(problemDeviceKeys_, {});
    keys.push_back(std::exchange(devicesDefModeKey_, kNullKey));
    keys.push_back(std::exchange(key_, kNullKey));
  }
  for (const RegKey key : keys)
    if (key != kNullKey) registry_->CloseKey(key);
}

void AppSettings::Load(const std::wstring& computerName, const AdapterKeyOpener& openAdapterKeys,
                       const std::function<void()>& closeSplash) {
  // 1. Defaults, the subjects naming this computer.
  Values values = Defaults(computerName);
  CloseKeys();
  {
    std::lock_guard lock(mutex_);
    values_ = values;
    hasRaidAdapter_ = false;
  }

  // 2. and 3. The settings key and DevicesDefMode below it.
  RegKey key = kNullKey;
  RegKey devicesDefMode = kNullKey;
  bool opened = registry_->CreateKey(kSettingsKeyPath, kKeyClass, key) == RegStatus::Ok;
  if (opened) {
    opened = registry_->CreateKey(std::wstring(kSettingsKeyPath) + L"\\" + kDevicesDefModeName,
                                  kKeyClass, devicesDefMode) == RegStatus::Ok;
    if (!opened) {
      registry_->CloseKey(key);
      key = kNullKey;
    }
  }
  if (!opened) {
    if (closeSplash) closeSplash();
    ui_->MessageBox(res::LoadString(res::kStrSettingsKeyFailed), kProductName,
                    platform::MsgButtons::Ok, platform::MsgIcon::None);
    return;
  }

  // 4. Every adapter gets the DevicesDefMode handle and its own problem-device key.
  std::vector<RegKey> problemKeys;
  const bool raid =
      openAdapterKeys && openAdapterKeys(*registry_, devicesDefMode, kKeyClass, true, problemKeys);
  {
    std::lock_guard lock(mutex_);
    key_ = key;
    devicesDefModeKey_ = devicesDefMode;
    problemDeviceKeys_ = std::move(problemKeys);
    hasRaidAdapter_ = raid;
  }

  // 5. The values.
  Transfer(key, values, true);
  std::lock_guard lock(mutex_);
  values_ = std::move(values);
}

void AppSettings::OpenAdapterKeys(const AdapterKeyOpener& openAdapterKeys) {
  RegKey devicesDefMode = kNullKey;
  {
    std::lock_guard lock(mutex_);
    devicesDefMode = devicesDefModeKey_;
  }
  if (devicesDefMode == kNullKey || !openAdapterKeys) return;
  std::vector<RegKey> problemKeys;
  openAdapterKeys(*registry_, devicesDefMode, kKeyClass, false, problemKeys);
  std::lock_guard lock(mutex_);
  problemDeviceKeys_.insert(problemDeviceKeys_.end(), problemKeys.begin(), problemKeys.end());
}

void AppSettings::Save() {
  Values values;
  RegKey key = kNullKey;
  {
    std::lock_guard lock(mutex_);
    values = values_;
    key = key_;
  }
  if (key == kNullKey) return;
  Transfer(key, values, false);
}

void AppSettings::Transfer(RegKey key, Values& values, bool load) {
  std::vector<platform::RegValue> writes;
  for (const Entry& entry : kEntries) {
    if (entry.text != nullptr) {
      std::wstring& text = values.*entry.text;
      if (load) {
        std::array<std::uint8_t, kTextBufferBytes> buffer{};
        RegType type = RegType::None;
        std::size_t size = 0;
        std::wstring read;
        if (registry_->QueryValue(key, entry.name, type, buffer, size) == RegStatus::Ok &&
            type == RegType::Sz && size <= buffer.size() &&
            DecodeText(std::span<const std::uint8_t>(buffer).first(size), read)) {
          text = std::move(read);
          continue;
        }
      }
      AddWrite(writes, entry.name, text);
    } else {
      std::uint32_t& number = values.*entry.number;
      if (load) {
        std::array<std::uint8_t, 4> buffer{};
        RegType type = RegType::None;
        std::size_t size = 0;
        if (registry_->QueryValue(key, entry.name, type, buffer, size) == RegStatus::Ok &&
            type == RegType::Dword && size == buffer.size()) {
          number = static_cast<std::uint32_t>(buffer[0]) |
                   (static_cast<std::uint32_t>(buffer[1]) << 8) |
                   (static_cast<std::uint32_t>(buffer[2]) << 16) |
                   (static_cast<std::uint32_t>(buffer[3]) << 24);
          continue;
        }
      }
      AddWrite(writes, entry.name, number);
    }
  }
  // A failed write is not reported: the values in memory serve this run.
  if (key != kNullKey && !writes.empty()) registry_->SetValues(key, writes);
}

void AppSettings::AddWrite(std::vector<platform::RegValue>& writes, const std::wstring& name,
                           const std::wstring& text) {
  std::wstring stored;
  if (!StorableText(name, text, stored)) return;
  writes.push_back({name, RegType::Sz, platform::EncodeRegSz(stored)});
}

void AppSettings::AddWrite(std::vector<platform::RegValue>& writes, const std::wstring& name,
                           std::uint32_t number) {
  writes.push_back({name, RegType::Dword, platform::EncodeRegDword(number)});
}

bool AppSettings::FitsTextValue(const std::wstring& text) {
  return Utf16Units(text) <= kMaxTextUnits;
}

bool AppSettings::StorableText(const std::wstring& valueName, const std::wstring& text,
                               std::wstring& stored) {
  if (FitsTextValue(text)) {
    stored = text;
    return true;
  }
  if (platform::EqualsNoCase(valueName, kEventListName) ||
      platform::EqualsNoCase(valueName, kEmailListName)) {
    // A cut address would send mail to a wrong recipient: keep the leading
    // addresses that fit whole, each with its ";".
    stored.clear();
    std::size_t units = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t semicolon = text.find(L';', start);
      const std::size_t end = semicolon == std::wstring::npos ? text.size() : semicolon + 1;
      const std::wstring address = text.substr(start, end - start);
      const std::size_t addressUnits = Utf16Units(address);
      if (units + addressUnits > kMaxTextUnits) break;
      stored += address;
      units += addressUnits;
      start = end;
    }
    return true;
  }
  if (platform::EqualsNoCase(valueName, kEmailSubjectName) ||
      platform::EqualsNoCase(valueName, kEventSubjectName)) {
    // A shortened subject still serves.
    stored.clear();
    std::size_t units = 0;
    for (const wchar_t c : text) {
      if (units + Utf16Units(c) > kMaxTextUnits) break;
      units += Utf16Units(c);
      stored += c;
    }
    return true;
  }
  // A cut path, host or address would point somewhere else; the value last
  // stored (always a readable one) is better than that on the next start.
  return false;
}

bool AppSettings::HasRaidAdapter() const {
  std::lock_guard lock(mutex_);
  return hasRaidAdapter_;
}

platform::RegKey AppSettings::Key() const {
  std::lock_guard lock(mutex_);
  return key_;
}

platform::RegKey AppSettings::DevicesDefModeKey() const {
  std::lock_guard lock(mutex_);
  return devicesDefModeKey_;
}

AppSettings::Values AppSettings::Get() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void AppSettings::Set(const Values& values) {
  std::lock_guard lock(mutex_);
  values_ = values;
}

std::wstring AppSettings::LogFilePath() const {
  std::lock_guard lock(mutex_);
  return values_.logFileLocation + values_.logFileName;
}

bool AppSettings::SwitchOn(const std::wstring& text) {
  return platform::EqualsNoCase(text, L"TRUE");
}

bool AppSettings::AudioDisabled(const std::wstring& text) {
  return platform::EqualsNoCase(text, L"disabled");
}

bool AppSettings::LevelReached(std::uint32_t level, std::uint32_t severity) {
  return level != 0 && severity >= level;
}

}  // namespace kestrune::settings
