// AppSettings: the program's user settings (the seventeen it always had, and
// those of the mail's security and the event program), kept under the settings
// key of the registry, and the keys below it that hold the adapters' device
// options. The store knows the registry only; the adapters are given their
// keys by their owner (ctl::GiveAdapterKeys) through an AdapterKeyOpener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/ui_services.h"

namespace kestrune::settings {

inline constexpr wchar_t kSettingsKeyPath[] = L"Software\\Brevalis\\Kestrune";
inline constexpr wchar_t kDevicesDefModeName[] = L"DevicesDefMode";
inline constexpr wchar_t kKeyClass[] = L"GenericClass";
inline constexpr wchar_t kProductName[] = L"Kestrune";

// A text value is read into 440 bytes, terminating NUL included: at most 219
// UTF-16 code units of text.
inline constexpr std::size_t kTextBufferBytes = 440;
inline constexpr std::size_t kMaxTextUnits = kTextBufferBytes / 2 - 1;

// Value names, in transfer order.
inline constexpr wchar_t kSmtpServerName[] = L"SMTP Server";
inline constexpr wchar_t kLogFileLocationName[] = L"Log File Location";
inline constexpr wchar_t kLogFileNameName[] = L"Log File Name";
inline constexpr wchar_t kLogFileEnabledName[] = L"Log File Enabled";
inline constexpr wchar_t kAutoSaveAndPurgeName[] = L"Auto Save and Purge";
inline constexpr wchar_t kLogFileSizeName[] = L"Log File Size";
inline constexpr wchar_t kDebugModeEnabledName[] = L"Debug Mode Enabled";
inline constexpr wchar_t kDefaultEmailName[] = L"Default Email";
inline constexpr wchar_t kEmailListName[] = L"Email List";
inline constexpr wchar_t kEmailSubjectName[] = L"Email Subject";
inline constexpr wchar_t kEmailEventLevelName[] = L"Email Event Level";
inline constexpr wchar_t kEventSubjectName[] = L"Event Subject";
inline constexpr wchar_t kEventListName[] = L"Event List";
inline constexpr wchar_t kAudioInformationalName[] = L"Audio Informational";
inline constexpr wchar_t kAudioWarningName[] = L"Audio Warning";
inline constexpr wchar_t kAudioErrorName[] = L"Audio Error";
inline constexpr wchar_t kPopupEventLevelName[] = L"Popup Event Level";
// The values added after the first seventeen: how the mail reaches today's
// servers, and the program run for every event.
inline constexpr wchar_t kSmtpPortName[] = L"SMTP Port";
inline constexpr wchar_t kSmtpSecurityName[] = L"SMTP Security";
inline constexpr wchar_t kSmtpUserName[] = L"SMTP User";
inline constexpr wchar_t kSmtpCaFileName[] = L"SMTP CA File";
inline constexpr wchar_t kEventProgramName[] = L"Event Program";
inline constexpr wchar_t kProgramEventLevelName[] = L"Program Event Level";
inline constexpr wchar_t kProgramTimeLimitName[] = L"Program Time Limit";

// "SMTP Security": how the connection to the mail server is protected.
inline constexpr wchar_t kSecurityNone[] = L"None";
inline constexpr wchar_t kSecurityStartTls[] = L"STARTTLS";  // plain, then STARTTLS
inline constexpr wchar_t kSecurityTls[] = L"TLS";            // TLS from the first byte
inline constexpr std::uint32_t kDefaultSmtpPort = 25;
// Seconds an event program may run before it is killed.
inline constexpr std::uint32_t kDefaultProgramTimeLimit = 30;
inline constexpr std::uint32_t kMaxProgramTimeLimit = 3600;

inline constexpr wchar_t kDefaultSmtpServer[] = L"smtp.example.invalid";

// Gives the adapters their keys: each adapter (every one, or only those not
// given keys yet) gets the DevicesDefMode handle and its own problem-device
// key, created in `registry` with `keyClass`; every key created is appended
// to `opened`, for the settings to close. Answers whether an adapter has the
// "RAID" chip type.
using AdapterKeyOpener = std::function<bool(
    platform::Registry& registry, platform::RegKey devicesDefMode, const std::wstring& keyClass,
    bool everyAdapter, std::vector<platform::RegKey>& opened)>;

class AppSettings {
 public:
  // All values, in transfer order.
  struct Values {
    std::wstring smtpServer;
    std::wstring logFileLocation;  // ends in "/"; the log path is location + name
    std::wstring logFileName;
    std::wstring logFileEnabled;    // "TRUE" / "FALSE"
    std::wstring autoSaveAndPurge;  // "TRUE" / "FALSE", stored only
    std::uint32_t logFileSize = 0;  // stored only
    std::wstring debugModeEnabled;  // "TRUE" / "FALSE"
    std::wstring defaultEmail;
    std::wstring emailList;  // stored only
    std::wstring emailSubject;
    std::uint32_t emailEventLevel = 0;
    std::wstring eventSubject;
    std::wstring eventList;  // addresses, each followed by ";"
    std::wstring audioInformational;
    std::wstring audioWarning;
    std::wstring audioError;
    std::uint32_t popupEventLevel = 0;
    std::uint32_t smtpPort = 0;
    std::wstring smtpSecurity;  // kSecurityNone, kSecurityStartTls or kSecurityTls
    std::wstring smtpUser;      // empty: no authentication
    std::wstring smtpCaFile;    // empty: the system's trust store
    std::wstring eventProgram;  // empty: none
    std::uint32_t programEventLevel = 0;
    std::uint32_t programTimeLimit = 0;  // seconds

    bool operator==(const Values&) const = default;
  };

  // The defaults, the subjects built from the computer name ("Unknown" when
  // empty).
  static Values Defaults(const std::wstring& computerName);
  // $XDG_STATE_HOME/kestrune/ when that is an absolute path, else
  // ~/.local/state/kestrune/; always ends in "/".
  static std::wstring DefaultLogLocation();

  AppSettings(std::shared_ptr<platform::Registry> registry,
              std::shared_ptr<platform::UiServices> ui);
  // Closes every key Load opened; adapter records still holding them then
  // hold dead handles, which the registry refuses harmlessly.
  ~AppSettings();
  AppSettings(const AppSettings&) = delete;
  AppSettings& operator=(const AppSettings&) = delete;

  // Once at start-up, after the computer information has been read and the
  // adapters discovered. Assigns the defaults (the subjects naming
  // `computerName`), opens the settings key and DevicesDefMode (on failure:
  // closeSplash, message 335, null key, stop), has `openAdapterKeys` give
  // every adapter its keys, then reads every value; a value that cannot be
  // read is rewritten with the one in memory.
  void Load(const std::wstring& computerName, const AdapterKeyOpener& openAdapterKeys,
            const std::function<void()>& closeSplash = {});

  // Gives adapters found after Load (a rediscovery builds fresh records) the
  // DevicesDefMode handle and their problem-device keys, so that their device
  // options are stored like the others'. Does nothing without a settings key.
  void OpenAdapterKeys(const AdapterKeyOpener& openAdapterKeys);
  // Writes every value; does nothing while the key is null.
  void Save();

  // Whether Load saw an adapter whose chip type is "RAID" (any case).
  bool HasRaidAdapter() const;
  platform::RegKey Key() const;
  platform::RegKey DevicesDefModeKey() const;
  // The registry the settings live in; the device pages keep their option
  // values under the keys given out here.
  platform::Registry& Store() const { return *registry_; }

  // A consistent copy of all values, and their replacement, for the
  // configuration dialog.
  Values Get() const;
  void Set(const Values& values);

  // One value each; safe from any thread.
  std::wstring SmtpServer() const { return Read(&Values::smtpServer); }
  std::wstring LogFileLocation() const { return Read(&Values::logFileLocation); }
  std::wstring LogFileName() const { return Read(&Values::logFileName); }
  std::wstring LogFileEnabled() const { return Read(&Values::logFileEnabled); }
  std::wstring AutoSaveAndPurge() const { return Read(&Values::autoSaveAndPurge); }
  std::uint32_t LogFileSize() const { return Read(&Values::logFileSize); }
  std::wstring DebugModeEnabled() const { return Read(&Values::debugModeEnabled); }
  std::wstring DefaultEmail() const { return Read(&Values::defaultEmail); }
  std::wstring EmailList() const { return Read(&Values::emailList); }
  std::wstring EmailSubject() const { return Read(&Values::emailSubject); }
  std::uint32_t EmailEventLevel() const { return Read(&Values::emailEventLevel); }
  std::wstring EventSubject() const { return Read(&Values::eventSubject); }
  std::wstring EventList() const { return Read(&Values::eventList); }
  std::wstring AudioInformational() const { return Read(&Values::audioInformational); }
  std::wstring AudioWarning() const { return Read(&Values::audioWarning); }
  std::wstring AudioError() const { return Read(&Values::audioError); }
  std::uint32_t PopupEventLevel() const { return Read(&Values::popupEventLevel); }
  std::uint32_t SmtpPort() const { return Read(&Values::smtpPort); }
  std::wstring SmtpSecurity() const { return Read(&Values::smtpSecurity); }
  std::wstring SmtpUser() const { return Read(&Values::smtpUser); }
  std::wstring SmtpCaFile() const { return Read(&Values::smtpCaFile); }
  std::wstring EventProgram() const { return Read(&Values::eventProgram); }
  std::uint32_t ProgramEventLevel() const { return Read(&Values::programEventLevel); }
  std::uint32_t ProgramTimeLimit() const { return Read(&Values::programTimeLimit); }

  void SetSmtpServer(std::wstring v) { Write(&Values::smtpServer, std::move(v)); }
  void SetLogFileLocation(std::wstring v) { Write(&Values::logFileLocation, std::move(v)); }
  void SetLogFileName(std::wstring v) { Write(&Values::logFileName, std::move(v)); }
  void SetLogFileEnabled(std::wstring v) { Write(&Values::logFileEnabled, std::move(v)); }
  void SetAutoSaveAndPurge(std::wstring v) { Write(&Values::autoSaveAndPurge, std::move(v)); }
  void SetLogFileSize(std::uint32_t v) { Write(&Values::logFileSize, v); }
  void SetDebugModeEnabled(std::wstring v) { Write(&Values::debugModeEnabled, std::move(v)); }
  void SetDefaultEmail(std::wstring v) { Write(&Values::defaultEmail, std::move(v)); }
  void SetEmailList(std::wstring v) { Write(&Values::emailList, std::move(v)); }
  void SetEmailSubject(std::wstring v) { Write(&Values::emailSubject, std::move(v)); }
  void SetEmailEventLevel(std::uint32_t v) { Write(&Values::emailEventLevel, v); }
  void SetEventSubject(std::wstring v) { Write(&Values::eventSubject, std::move(v)); }
  void SetEventList(std::wstring v) { Write(&Values::eventList, std::move(v)); }
  void SetAudioInformational(std::wstring v) { Write(&Values::audioInformational, std::move(v)); }
  void SetAudioWarning(std::wstring v) { Write(&Values::audioWarning, std::move(v)); }
  void SetAudioError(std::wstring v) { Write(&Values::audioError, std::move(v)); }
  void SetPopupEventLevel(std::uint32_t v) { Write(&Values::popupEventLevel, v); }
  void SetSmtpPort(std::uint32_t v) { Write(&Values::smtpPort, v); }
  void SetSmtpSecurity(std::wstring v) { Write(&Values::smtpSecurity, std::move(v)); }
  void SetSmtpUser(std::wstring v) { Write(&Values::smtpUser, std::move(v)); }
  void SetSmtpCaFile(std::wstring v) { Write(&Values::smtpCaFile, std::move(v)); }
  void SetEventProgram(std::wstring v) { Write(&Values::eventProgram, std::move(v)); }
  void SetProgramEventLevel(std::uint32_t v) { Write(&Values::programEventLevel, v); }
  void SetProgramTimeLimit(std::uint32_t v) { Write(&Values::programTimeLimit, v); }

  // The log file's path: location followed directly by the name.
  std::wstring LogFilePath() const;

  // "TRUE" in any case.
  static bool SwitchOn(const std::wstring& text);
  // "disabled" in any case.
  static bool AudioDisabled(const std::wstring& text);
  // Level 0 is off; otherwise a severity at or above the level triggers.
  static bool LevelReached(std::uint32_t level, std::uint32_t severity);

  // What is written for a text value, given the 219-unit read limit: the text
  // itself when it fits; an address list keeps its leading whole addresses
  // that fit; a subject is cut to 219 units (never inside a surrogate pair);
  // any other text (paths, host, address, switches) is not written at all, so
  // the stored value stays as it was. Returns false when nothing is to be
  // written.
  // Whether the text reads back whole: at most 219 UTF-16 units.
  static bool FitsTextValue(const std::wstring& text);
  static bool StorableText(const std::wstring& valueName, const std::wstring& text,
                           std::wstring& stored);

 private:
  template <typename T>
  T Read(T Values::*field) const {
    std::lock_guard lock(mutex_);
    return values_.*field;
  }
  template <typename T>
  void Write(T Values::*field, T value) {
    std::lock_guard lock(mutex_);
    values_.*field = std::move(value);
  }

  // Load mode: reads every value of `values` from the key, writing back those
  // that cannot be read. Save mode: writes every value. The writes of one
  // transfer are made together.
  void Transfer(platform::RegKey key, Values& values, bool load);
  static void AddWrite(std::vector<platform::RegValue>& writes, const std::wstring& name,
                       const std::wstring& text);
  static void AddWrite(std::vector<platform::RegValue>& writes, const std::wstring& name,
                       std::uint32_t number);
  void CloseKeys();

  std::shared_ptr<platform::Registry> registry_;
  std::shared_ptr<platform::UiServices> ui_;

  // Guards everything below; never held while calling the registry or the UI.
  mutable std::mutex mutex_;
  Values values_;
  platform::RegKey key_ = platform::kNullKey;
  platform::RegKey devicesDefModeKey_ = platform::kNullKey;
  std::vector<platform::RegKey> problemDeviceKeys_;
  bool hasRaidAdapter_ = false;
};

}  // namespace kestrune::settings
