#include "settings/app_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "support/scoped_env.h"

namespace kestrune::settings {
namespace {

using platform::RegKey;
using platform::RegStatus;
using platform::RegType;
using Bytes = std::vector<std::uint8_t>;

const std::wstring kDevicesDefModePath = L"Software\\Brevalis\\Kestrune\\DevicesDefMode";

// Passes everything to a real store, but fails CreateKey for the paths it is
// told to and counts the writes.
class FailingRegistry final : public platform::Registry {
 public:
  explicit FailingRegistry(std::shared_ptr<platform::Registry> inner) : inner_(std::move(inner)) {}

  RegStatus CreateKey(const std::wstring& path, const std::wstring& keyClass, RegKey& key,
                      bool* created) override {
    for (const auto& failing : failPaths) {
      if (platform::EqualsNoCase(path, failing)) {
        key = platform::kNullKey;
        return RegStatus::AccessDenied;
      }
    }
    return inner_->CreateKey(path, keyClass, key, created);
  }
  RegStatus OpenKey(const std::wstring& path, RegKey& key) override {
    return inner_->OpenKey(path, key);
  }
  void CloseKey(RegKey key) override {
    ++closes;
    inner_->CloseKey(key);
  }
  RegStatus QueryValue(RegKey key, const std::wstring& name, RegType& type,
                       std::span<std::uint8_t> buffer, std::size_t& size) override {
    return inner_->QueryValue(key, name, type, buffer, size);
  }
  RegStatus SetValue(RegKey key, const std::wstring& name, RegType type,
                     std::span<const std::uint8_t> data) override {
    ++writes;
    return inner_->SetValue(key, name, type, data);
  }
  RegStatus DeleteValue(RegKey key, const std::wstring& name) override {
    return inner_->DeleteValue(key, name);
  }
  RegStatus DeleteKeyTree(const std::wstring& path) override { return inner_->DeleteKeyTree(path); }
  RegStatus KeyClass(RegKey key, std::wstring& keyClass) override {
    return inner_->KeyClass(key, keyClass);
  }
  RegStatus SubKeys(RegKey key, std::vector<std::wstring>& names) override {
    return inner_->SubKeys(key, names);
  }
  RegStatus Values(RegKey key, std::vector<platform::RegValue>& values) override {
    return inner_->Values(key, values);
  }

  std::vector<std::wstring> failPaths;
  std::atomic<int> writes{0};
  std::atomic<int> closes{0};

 private:
  std::shared_ptr<platform::Registry> inner_;
};

struct FakeAdapter {
  std::wstring chipModel;
  std::wstring chipType;
  std::uint16_t driverMajor;
  std::wstring adapterName;
};

class AppSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    store_ = platform::OpenSqliteRegistry(dir_.File("registry.db"), nullptr, error);
    ASSERT_NE(store_, nullptr) << error;
    registry_ = std::make_shared<FailingRegistry>(store_);
    ui_ = std::make_shared<platform::RecordingUi>();
    io_ = std::make_unique<ctl::CControllerIo>(
        ctl::ControllerServices{nullptr, nullptr, registry_, nullptr, ui_, nullptr});
    SetComputerName(L"WORKBENCH");
  }
  void SetComputerName(const std::wstring& name) {
    ctl::CControllerIo::Lock lock(*io_);
    io_->Model().computer.computerName = name;
  }

  void AddAdapters(const std::vector<FakeAdapter>& adapters) {
    ctl::CControllerIo::Lock lock(*io_);
    auto& model = io_->Model();
    for (const auto& a : adapters) {
      auto record = std::make_unique<ctl::AdapterRecord>();
      record->adapterNumber = model.entryCount - 1;
      record->chipModel = a.chipModel;
      record->chipType = a.chipType;
      // The code the driver sends with the text.
      record->chipKind = platform::EqualsNoCase(a.chipType, L"raid") ? ctl::ChipKind::kRaid
                                                                     : ctl::ChipKind::kStandard;
      record->driverMajor = a.driverMajor;
      record->adapterName = a.adapterName;
      model.adapters[model.entryCount++] = std::move(record);
    }
  }

  ctl::AdapterRecord& Adapter(std::size_t number) {
    ctl::CControllerIo::Lock lock(*io_);
    return *io_->Model().Adapter(number);
  }

  std::unique_ptr<AppSettings> MakeSettings() {
    return std::make_unique<AppSettings>(registry_, ui_);
  }
  // Loads as the program does, the fixture's controller giving the adapters
  // their keys.
  void LoadSettings(AppSettings& settings, const std::function<void()>& closeSplash = {}) {
    settings.Load(ctl::ComputerName(*io_), ctl::AdapterKeyOpener(*io_), closeSplash);
  }

  // Writes straight into the settings key, creating it as another program would.
  void Store(const std::wstring& name, RegType type, const Bytes& data) {
    RegKey key = platform::kNullKey;
    ASSERT_EQ(store_->CreateKey(kSettingsKeyPath, L"", key), RegStatus::Ok);
    ASSERT_EQ(store_->SetValue(key, name, type, data), RegStatus::Ok);
    store_->CloseKey(key);
  }
  void StoreText(const std::wstring& name, const std::wstring& text) {
    Store(name, RegType::Sz, platform::EncodeRegSz(text));
  }

  std::optional<platform::RegValue> Stored(const std::wstring& name,
                                           const std::wstring& path = kSettingsKeyPath) {
    RegKey key = platform::kNullKey;
    if (store_->OpenKey(path, key) != RegStatus::Ok) return std::nullopt;
    std::vector<platform::RegValue> values;
    store_->Values(key, values);
    store_->CloseKey(key);
    for (auto& v : values)
      if (v.name == name) return v;
    return std::nullopt;
  }
  std::wstring StoredText(const std::wstring& name) {
    const auto v = Stored(name);
    return v && v->type == RegType::Sz ? platform::DecodeRegSz(v->data) : L"<missing>";
  }

  std::optional<std::wstring> KeyClassOf(const std::wstring& path) {
    RegKey key = platform::kNullKey;
    if (store_->OpenKey(path, key) != RegStatus::Ok) return std::nullopt;
    std::wstring keyClass;
    store_->KeyClass(key, keyClass);
    store_->CloseKey(key);
    return keyClass;
  }

  // A fixed state folder makes the log location default predictable.
  test::ScopedEnv stateHome_{"XDG_STATE_HOME", "/var/tmp/state"};
  testing::TempDir dir_;
  std::shared_ptr<platform::Registry> store_;
  std::shared_ptr<FailingRegistry> registry_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::unique_ptr<ctl::CControllerIo> io_;
};

// ---- first run and round trip ----

TEST_F(AppSettingsTest, FirstRunCreatesTheKeysAndWritesEveryDefaultInOrder) {
  auto settings = MakeSettings();
  bool splashClosed = false;
  LoadSettings(*settings, [&] { splashClosed = true; });

  EXPECT_EQ(ui_->MessageCount(), 0u);
  EXPECT_FALSE(splashClosed);
  EXPECT_NE(settings->Key(), platform::kNullKey);
  EXPECT_NE(settings->DevicesDefModeKey(), platform::kNullKey);
  EXPECT_EQ(KeyClassOf(kSettingsKeyPath), L"GenericClass");
  EXPECT_EQ(KeyClassOf(kDevicesDefModePath), L"GenericClass");

  RegKey key = platform::kNullKey;
  ASSERT_EQ(store_->OpenKey(kSettingsKeyPath, key), RegStatus::Ok);
  std::vector<platform::RegValue> values;
  store_->Values(key, values);
  store_->CloseKey(key);

  const Bytes sz = {'T', 0, 'R', 0, 'U', 0, 'E', 0, 0, 0};
  const Bytes szFalse = {'F', 0, 'A', 0, 'L', 0, 'S', 0, 'E', 0, 0, 0};
  const Bytes empty = {0, 0};
  struct Expected {
    std::wstring name;
    RegType type;
    std::optional<Bytes> data;  // checked when given
  };
  const std::vector<Expected> expected = {
      {L"SMTP Server", RegType::Sz, platform::EncodeRegSz(L"smtp.example.invalid")},
      {L"Log File Location", RegType::Sz, platform::EncodeRegSz(L"/var/tmp/state/kestrune/")},
      {L"Log File Name", RegType::Sz, platform::EncodeRegSz(L"errlgr.txt")},
      {L"Log File Enabled", RegType::Sz, sz},
      {L"Auto Save and Purge", RegType::Sz, szFalse},
      {L"Log File Size", RegType::Dword, Bytes{0x00, 0x00, 0x08, 0x00}},
      {L"Debug Mode Enabled", RegType::Sz, szFalse},
      {L"Default Email", RegType::Sz, empty},
      {L"Email List", RegType::Sz, empty},
      {L"Email Subject", RegType::Sz,
       platform::EncodeRegSz(L"Kestrune - Configuration information from system WORKBENCH.")},
      {L"Email Event Level", RegType::Dword, Bytes{0, 0, 0, 0}},
      {L"Event Subject", RegType::Sz,
       platform::EncodeRegSz(L"Kestrune - Event from system WORKBENCH.")},
      {L"Event List", RegType::Sz, empty},
      {L"Audio Informational", RegType::Sz, std::nullopt},
      {L"Audio Warning", RegType::Sz, std::nullopt},
      {L"Audio Error", RegType::Sz, platform::EncodeRegSz(L"Disabled")},
      {L"Popup Event Level", RegType::Dword, Bytes{1, 0, 0, 0}},
      // The mail as it always went, and no event program.
      {L"SMTP Port", RegType::Dword, Bytes{25, 0, 0, 0}},
      {L"SMTP Security", RegType::Sz, platform::EncodeRegSz(L"None")},
      {L"SMTP User", RegType::Sz, empty},
      {L"SMTP CA File", RegType::Sz, empty},
      {L"Event Program", RegType::Sz, empty},
      {L"Program Event Level", RegType::Dword, Bytes{0, 0, 0, 0}},
      {L"Program Time Limit", RegType::Dword, Bytes{30, 0, 0, 0}},
  };
  ASSERT_EQ(values.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(values[i].name, expected[i].name);
    EXPECT_EQ(values[i].type, expected[i].type);
    if (expected[i].data) {
      EXPECT_EQ(values[i].data, *expected[i].data);
    }
  }
  EXPECT_EQ(settings->Get(), AppSettings::Defaults(L"WORKBENCH"));
  EXPECT_EQ(settings->LogFilePath(), L"/var/tmp/state/kestrune/errlgr.txt");
}

TEST_F(AppSettingsTest, TheStoreStandsAloneWithoutAdapters) {
  // No controller at all: the settings know the registry only.
  auto settings = MakeSettings();
  settings->Load(L"BENCH2", {});
  EXPECT_NE(settings->Key(), platform::kNullKey);
  EXPECT_NE(settings->DevicesDefModeKey(), platform::kNullKey);
  EXPECT_FALSE(settings->HasRaidAdapter());
  EXPECT_EQ(StoredText(kEventSubjectName), L"Kestrune - Event from system BENCH2.");
  settings->OpenAdapterKeys({});  // nobody to give keys to
  EXPECT_EQ(ui_->MessageCount(), 0u);
}

TEST_F(AppSettingsTest, SubjectsNameUnknownWithoutAComputerName) {
  SetComputerName(L"");
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->EventSubject(), L"Kestrune - Event from system Unknown.");
  EXPECT_EQ(settings->EmailSubject(), L"Kestrune - Configuration information from system Unknown.");
}

TEST_F(AppSettingsTest, StoredValuesWinOverDefaultsAndSurviveARoundTrip) {
  StoreText(L"Event Subject", L"Alarm from the lab");
  Store(L"Popup Event Level", RegType::Dword, {3, 0, 0, 0});
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->EventSubject(), L"Alarm from the lab");
  EXPECT_EQ(settings->PopupEventLevel(), 3u);

  AppSettings::Values v = settings->Get();
  v.smtpServer = L"mail.lab.invalid";
  v.logFileLocation = L"/srv/log/";
  v.logFileName = L"events.txt";
  v.logFileEnabled = L"FALSE";
  v.defaultEmail = L"raid@lab.invalid";
  v.emailSubject = L"Config \u00e9t\u00e9 \U0001F600";
  v.emailEventLevel = 2;
  v.eventList = L"a@lab.invalid;b@lab.invalid;";
  v.audioInformational = L"/usr/share/sounds/info.wav";
  v.audioWarning = L"/usr/share/sounds/warn.wav";
  v.audioError = L"disabled";
  v.popupEventLevel = 0xFFFFFFFF;
  v.smtpPort = 587;
  v.smtpSecurity = L"STARTTLS";
  v.smtpUser = L"raid@lab.invalid";
  v.smtpCaFile = L"/etc/ssl/lab-ca.pem";
  v.eventProgram = L"/usr/local/bin/page-oncall";
  v.programEventLevel = 3;
  v.programTimeLimit = 5;
  settings->Set(v);
  settings->Save();

  auto again = MakeSettings();
  LoadSettings(*again);
  EXPECT_EQ(again->Get(), v);
  EXPECT_EQ(again->LogFilePath(), L"/srv/log/events.txt");
}

TEST_F(AppSettingsTest, StoredOnlyValuesComeBackUnchanged) {
  StoreText(L"Email List", L"old@lab.invalid;");
  Store(L"Log File Size", RegType::Dword, {0x39, 0x30, 0, 0});
  StoreText(L"Auto Save and Purge", L"TRUE");
  const auto list = Stored(L"Email List");
  const auto size = Stored(L"Log File Size");
  const auto purge = Stored(L"Auto Save and Purge");

  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->LogFileSize(), 12345u);
  settings->SetSmtpServer(L"other.invalid");
  settings->Save();
  auto again = MakeSettings();
  LoadSettings(*again);
  again->Save();

  EXPECT_EQ(Stored(L"Email List")->data, list->data);
  EXPECT_EQ(Stored(L"Log File Size")->data, size->data);
  EXPECT_EQ(Stored(L"Auto Save and Purge")->data, purge->data);
  EXPECT_EQ(again->EmailList(), L"old@lab.invalid;");
  EXPECT_EQ(again->AutoSaveAndPurge(), L"TRUE");
}

// ---- what counts as readable ----

TEST_F(AppSettingsTest, TextOf219UnitsIsTakenAnd220IsReplacedByTheDefault) {
  const std::wstring fits(219, L'h');
  StoreText(L"SMTP Server", fits);
  StoreText(L"Default Email", std::wstring(220, L'm'));
  // 110 characters beyond the basic plane are 220 UTF-16 units.
  StoreText(L"Log File Name", std::wstring(110, L'\U0001F600'));
  StoreText(L"Audio Warning", std::wstring(109, L'\U0001F600'));
  auto settings = MakeSettings();
  LoadSettings(*settings);

  EXPECT_EQ(settings->SmtpServer(), fits);
  EXPECT_EQ(StoredText(L"SMTP Server"), fits);
  EXPECT_EQ(settings->DefaultEmail(), L"");
  EXPECT_EQ(StoredText(L"Default Email"), L"");
  EXPECT_EQ(settings->LogFileName(), L"errlgr.txt");
  EXPECT_EQ(StoredText(L"Log File Name"), L"errlgr.txt");
  EXPECT_EQ(settings->AudioWarning(), std::wstring(109, L'\U0001F600'));
}

TEST_F(AppSettingsTest, ValuesOfTheWrongShapeFallBackToTheDefaultAndAreRewritten) {
  struct Case {
    const wchar_t* name;
    RegType type;
    Bytes data;
    RegType rewrittenType;
    Bytes rewritten;
  };
  const Bytes noText = {0, 0};
  const std::vector<Case> cases = {
      // a number where text belongs
      {L"SMTP Server",
       RegType::Dword,
       {1, 0, 0, 0},
       RegType::Sz,
       platform::EncodeRegSz(L"smtp.example.invalid")},
      // junk
      {L"Log File Name",
       RegType::Binary,
       {0xDE, 0xAD, 0xBE},
       RegType::Sz,
       platform::EncodeRegSz(L"errlgr.txt")},
      // odd length
      {L"Log File Enabled",
       RegType::Sz,
       {'T', 0, 'R'},
       RegType::Sz,
       {'T', 0, 'R', 0, 'U', 0, 'E', 0, 0, 0}},
      // no terminating NUL
      {L"Default Email", RegType::Sz, {'a', 0, 'b', 0}, RegType::Sz, noText},
      // an unpaired surrogate
      {L"Event Subject",
       RegType::Sz,
       {0x00, 0xD8, 'x', 0, 0, 0},
       RegType::Sz,
       platform::EncodeRegSz(L"Kestrune - Event from system WORKBENCH.")},
      // nothing at all
      {L"Event List", RegType::Sz, {}, RegType::Sz, noText},
      // text bytes under the wrong type
      {L"Audio Error",
       RegType::Binary,
       {'a', 0, 0, 0},
       RegType::Sz,
       platform::EncodeRegSz(L"Disabled")},
      // text where a number belongs
      {L"Log File Size", RegType::Sz, {'1', 0, 0, 0}, RegType::Dword, {0x00, 0x00, 0x08, 0x00}},
      // numbers of the wrong length
      {L"Email Event Level", RegType::Dword, {2, 0, 0}, RegType::Dword, {0, 0, 0, 0}},
      {L"Popup Event Level", RegType::Dword, {2, 0, 0, 0, 0}, RegType::Dword, {1, 0, 0, 0}},
  };
  for (const auto& c : cases) Store(c.name, c.type, c.data);

  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->Get(), AppSettings::Defaults(L"WORKBENCH"));
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    const auto stored = Stored(c.name);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, c.rewrittenType);
    EXPECT_EQ(stored->data, c.rewritten);
  }
}

TEST_F(AppSettingsTest, TextEndsAtItsFirstNul) {
  Store(L"Event List", RegType::Sz, {'a', 0, ';', 0, 0, 0, 'b', 0, 0, 0});
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->EventList(), L"a;");
}

TEST(AppSettingsHelpersTest, SwitchesAudioAndLevels) {
  EXPECT_TRUE(AppSettings::SwitchOn(L"TRUE"));
  EXPECT_TRUE(AppSettings::SwitchOn(L"true"));
  EXPECT_TRUE(AppSettings::SwitchOn(L"tRuE"));
  EXPECT_FALSE(AppSettings::SwitchOn(L"FALSE"));
  EXPECT_FALSE(AppSettings::SwitchOn(L"yes"));
  EXPECT_FALSE(AppSettings::SwitchOn(L"TRUE "));
  EXPECT_FALSE(AppSettings::SwitchOn(L""));

  EXPECT_TRUE(AppSettings::AudioDisabled(L"Disabled"));
  EXPECT_TRUE(AppSettings::AudioDisabled(L"DISABLED"));
  EXPECT_FALSE(AppSettings::AudioDisabled(L"/sounds/disabled"));
  EXPECT_FALSE(AppSettings::AudioDisabled(L""));

  for (std::uint32_t severity = 1; severity <= 3; ++severity)
    EXPECT_FALSE(AppSettings::LevelReached(0, severity));
  EXPECT_TRUE(AppSettings::LevelReached(1, 1));
  EXPECT_FALSE(AppSettings::LevelReached(2, 1));
  EXPECT_TRUE(AppSettings::LevelReached(2, 2));
  EXPECT_TRUE(AppSettings::LevelReached(2, 3));
  EXPECT_FALSE(AppSettings::LevelReached(3, 2));
  EXPECT_TRUE(AppSettings::LevelReached(3, 3));
  EXPECT_FALSE(AppSettings::LevelReached(7, 3));
}

TEST_F(AppSettingsTest, LowerCaseTrueIsKeptAndCountsAsOn) {
  StoreText(L"Log File Enabled", L"true");
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(settings->LogFileEnabled(), L"true");
  EXPECT_TRUE(AppSettings::SwitchOn(settings->LogFileEnabled()));
  EXPECT_EQ(StoredText(L"Log File Enabled"), L"true");
}

TEST(AppSettingsDefaultsTest, LogLocationFollowsTheStateFolder) {
  test::ScopedEnv home("HOME", "/home/op");
  test::ScopedEnv state("XDG_STATE_HOME", "/st");
  EXPECT_EQ(AppSettings::DefaultLogLocation(), L"/st/kestrune/");
  setenv("XDG_STATE_HOME", "/st/", 1);
  EXPECT_EQ(AppSettings::DefaultLogLocation(), L"/st/kestrune/");
  setenv("XDG_STATE_HOME", "relative/state", 1);  // ignored, as the XDG rules say
  EXPECT_EQ(AppSettings::DefaultLogLocation(), L"/home/op/.local/state/kestrune/");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(AppSettings::DefaultLogLocation(), L"/home/op/.local/state/kestrune/");
  setenv("HOME", "/home/op/", 1);
  EXPECT_EQ(AppSettings::DefaultLogLocation(), L"/home/op/.local/state/kestrune/");
}

// ---- keys that cannot be opened ----

TEST_F(AppSettingsTest, SettingsKeyFailureShowsMessage335AndKeepsDefaultsWithoutWrites) {
  registry_->failPaths = {kSettingsKeyPath};
  AddAdapters({{L"BV-7210", L"RAID", 1, L"UNKNOWN"}});
  bool splashClosed = false;
  bool splashClosedBeforeBox = false;
  ui_->SetResponder([&](const platform::RecordedMessage&) -> std::optional<platform::MsgResult> {
    splashClosedBeforeBox = splashClosed;
    return std::nullopt;
  });
  auto settings = MakeSettings();
  LoadSettings(*settings, [&] { splashClosed = true; });

  ASSERT_EQ(ui_->MessageCount(), 1u);
  const auto box = *ui_->LastMessage();
  EXPECT_EQ(box.text, L"Could not create or open Kestrune's key!\nDefault values will be used.");
  EXPECT_EQ(box.caption, L"Kestrune");
  EXPECT_EQ(box.buttons, platform::MsgButtons::Ok);
  EXPECT_TRUE(splashClosedBeforeBox);
  EXPECT_EQ(settings->Key(), platform::kNullKey);
  EXPECT_EQ(settings->Get(), AppSettings::Defaults(L"WORKBENCH"));
  EXPECT_EQ(Adapter(0).problemDeviceKey, platform::kNullKey);
  EXPECT_EQ(Adapter(0).devicesDefModeKey, platform::kNullKey);
  EXPECT_EQ(registry_->writes.load(), 0);

  settings->SetSmtpServer(L"changed.invalid");
  settings->Save();
  EXPECT_EQ(registry_->writes.load(), 0);
  EXPECT_FALSE(Stored(L"SMTP Server"));
}

TEST_F(AppSettingsTest, DevicesDefModeFailureLeavesTheKeyNullToo) {
  registry_->failPaths = {kDevicesDefModePath};
  StoreText(L"SMTP Server", L"stored.invalid");
  auto settings = MakeSettings();
  LoadSettings(*settings);  // no splash to close
  EXPECT_EQ(ui_->MessageCount(), 1u);
  EXPECT_EQ(settings->Key(), platform::kNullKey);
  EXPECT_EQ(settings->DevicesDefModeKey(), platform::kNullKey);
  EXPECT_EQ(settings->SmtpServer(), L"smtp.example.invalid");  // nothing loaded
  const int writesBefore = registry_->writes.load();
  settings->Save();
  EXPECT_EQ(registry_->writes.load(), writesBefore);
  EXPECT_EQ(StoredText(L"SMTP Server"), L"stored.invalid");
}

// ---- the adapters' keys ----

TEST_F(AppSettingsTest, EachAdapterGetsDevicesDefModeAndItsProblemDeviceKey) {
  AddAdapters({{L"BV-7210", L"RAID", 1, L"UNKNOWN"},
               {L"BV-7250", L"Standard", 1, L"UNKNOWN"},
               {L"BV-7420", L"Standard", 2, L"Bv7420"}});
  auto settings = MakeSettings();
  LoadSettings(*settings);

  EXPECT_TRUE(settings->HasRaidAdapter());
  EXPECT_EQ(ui_->MessageCount(), 0u);
  const std::vector<std::wstring> paths = {
      L"System\\CurrentControlSet\\Services\\Bv7210R\\ProblemDevices",
      L"System\\CurrentControlSet\\Services\\Bv7210\\ProblemDevices",
      L"System\\CurrentControlSet\\Services\\Bv7420\\ProblemDevices"};
  for (std::size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(i);
    ctl::AdapterRecord& adapter = Adapter(i);
    EXPECT_EQ(adapter.devicesDefModeKey, settings->DevicesDefModeKey());
    ASSERT_NE(adapter.problemDeviceKey, platform::kNullKey);
    EXPECT_EQ(KeyClassOf(paths[i]), L"GenericClass");
    // The handle reaches that very key.
    const std::wstring name = L"Target" + std::to_wstring(i);
    ASSERT_EQ(store_->SetValue(adapter.problemDeviceKey, name, RegType::Sz,
                               platform::EncodeRegSz(L"EnableWriteCache")),
              RegStatus::Ok);
    EXPECT_TRUE(Stored(name, paths[i]));
  }
  ctl::CControllerIo::Lock lock(*io_);
  EXPECT_EQ(io_->Model().adapters[0]->devicesDefModeKey, platform::kNullKey);  // computer entry
}

TEST_F(AppSettingsTest, AdaptersFoundAgainLaterGetTheirKeysToo) {
  AddAdapters({{L"BV-7420", L"RAID", 2, L"Bv7420"}});
  auto settings = MakeSettings();
  LoadSettings(*settings);
  const platform::RegKey first = Adapter(0).problemDeviceKey;
  ASSERT_NE(first, platform::kNullKey);
  // A rediscovery replaces the records: the new ones start without keys.
  {
    ctl::CControllerIo::Lock lock(*io_);
    io_->Model().adapters[1].reset();
    io_->Model().entryCount = 1;
  }
  AddAdapters({{L"BV-7420", L"RAID", 2, L"Bv7420"}, {L"BV-7210", L"Standard", 1, L"UNKNOWN"}});
  settings->OpenAdapterKeys(ctl::AdapterKeyOpener(*io_));
  EXPECT_EQ(Adapter(0).devicesDefModeKey, settings->DevicesDefModeKey());
  EXPECT_NE(Adapter(0).problemDeviceKey, platform::kNullKey);
  EXPECT_NE(Adapter(1).problemDeviceKey, platform::kNullKey);
  const platform::RegKey kept = Adapter(1).problemDeviceKey;
  settings->OpenAdapterKeys(ctl::AdapterKeyOpener(*io_));  // adapters that have keys keep them
  EXPECT_EQ(Adapter(1).problemDeviceKey, kept);
}

TEST_F(AppSettingsTest, RaidChipTypeIsRecognisedInAnyCase) {
  AddAdapters({{L"BV-7250", L"Standard", 1, L"UNKNOWN"}});
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_FALSE(settings->HasRaidAdapter());

  AddAdapters({{L"BV-7420", L"raid", 2, L"Bv7420"}});
  auto again = MakeSettings();
  LoadSettings(*again);
  EXPECT_TRUE(again->HasRaidAdapter());
}

TEST_F(AppSettingsTest, AProblemDeviceKeyThatCannotBeMadeIsNullWithoutAMessage) {
  // An empty adapter name makes an empty key name, which no store accepts.
  AddAdapters({{L"BV-7420", L"Standard", 2, L""}, {L"BV-7210", L"Standard", 1, L"UNKNOWN"}});
  registry_->failPaths = {L"System\\CurrentControlSet\\Services\\Bv7210\\ProblemDevices"};
  auto settings = MakeSettings();
  LoadSettings(*settings);
  EXPECT_EQ(ui_->MessageCount(), 0u);
  EXPECT_EQ(Adapter(0).problemDeviceKey, platform::kNullKey);
  EXPECT_EQ(Adapter(1).problemDeviceKey, platform::kNullKey);
  EXPECT_EQ(Adapter(1).devicesDefModeKey, settings->DevicesDefModeKey());
  EXPECT_EQ(StoredText(L"Log File Name"), L"errlgr.txt");  // the values still went on
}

TEST_F(AppSettingsTest, DestructionClosesEveryKeyItOpened) {
  AddAdapters({{L"BV-7210", L"RAID", 1, L"UNKNOWN"}});
  auto settings = MakeSettings();
  LoadSettings(*settings);
  const RegKey key = settings->Key();
  const RegKey problem = Adapter(0).problemDeviceKey;
  settings.reset();
  EXPECT_EQ(registry_->closes.load(), 3);
  RegType type = RegType::None;
  std::size_t size = 0;
  EXPECT_EQ(store_->QueryValue(key, L"SMTP Server", type, {}, size), RegStatus::InvalidHandle);
  EXPECT_EQ(store_->QueryValue(problem, L"x", type, {}, size), RegStatus::InvalidHandle);
}

// ---- saving texts beyond the read limit ----

TEST(AppSettingsStorableTest, LongTextsFollowTheirValuesRule) {
  std::wstring stored;
  const std::wstring fits(219, L'a');
  ASSERT_TRUE(AppSettings::StorableText(L"SMTP Server", fits, stored));
  EXPECT_EQ(stored, fits);

  // Paths, host and switches: nothing is written.
  EXPECT_FALSE(AppSettings::StorableText(L"Log File Location", std::wstring(260, L'p'), stored));
  EXPECT_FALSE(AppSettings::StorableText(L"SMTP Server", fits + L"a", stored));
  EXPECT_FALSE(AppSettings::StorableText(L"Audio Error", std::wstring(110, L'\U0001F600'), stored));

  // Subjects are cut, never inside a surrogate pair.
  ASSERT_TRUE(AppSettings::StorableText(L"Email Subject", std::wstring(230, L's'), stored));
  EXPECT_EQ(stored, std::wstring(219, L's'));
  ASSERT_TRUE(AppSettings::StorableText(L"Event Subject",
                                        std::wstring(218, L's') + L"\U0001F600tail", stored));
  EXPECT_EQ(stored, std::wstring(218, L's'));

  // Address lists keep their leading whole addresses.
  std::wstring list;
  for (int i = 10; i < 40; ++i) list += L"user" + std::to_wstring(i) + L"@example.com;";  // 19 each
  ASSERT_TRUE(AppSettings::StorableText(L"Event List", list, stored));
  EXPECT_EQ(stored, list.substr(0, 11 * 19));
  ASSERT_TRUE(AppSettings::StorableText(L"Email List", list, stored));
  EXPECT_EQ(stored, list.substr(0, 11 * 19));
  // An address that fills the limit exactly is kept; a last one without its
  // ";" that does not fit is dropped.
  const std::wstring exact = std::wstring(200, L'x') + L";" + std::wstring(17, L'y') + L";";
  ASSERT_TRUE(AppSettings::StorableText(L"Event List", exact + L"z@q;", stored));
  EXPECT_EQ(stored, exact);
  ASSERT_TRUE(AppSettings::StorableText(L"Event List", exact + L"z@q", stored));
  EXPECT_EQ(stored, exact);
  ASSERT_TRUE(AppSettings::StorableText(L"Event List", std::wstring(300, L'x'), stored));
  EXPECT_EQ(stored, L"");
}

TEST_F(AppSettingsTest, LongTextsSaveSoThatTheyReadBack) {
  auto settings = MakeSettings();
  LoadSettings(*settings);
  std::wstring list;
  for (int i = 10; i < 40; ++i) list += L"user" + std::to_wstring(i) + L"@example.com;";
  settings->SetEventList(list);
  settings->SetEventSubject(std::wstring(250, L's'));
  settings->SetLogFileLocation(L"/" + std::wstring(258, L'd') + L"/");
  settings->Save();
  // The run goes on with the texts as given.
  EXPECT_EQ(settings->EventList(), list);

  auto again = MakeSettings();
  LoadSettings(*again);
  EXPECT_EQ(again->EventList(), list.substr(0, 11 * 19));
  EXPECT_EQ(again->EventSubject(), std::wstring(219, L's'));
  EXPECT_EQ(again->LogFileLocation(), L"/var/tmp/state/kestrune/");  // the stored one stayed
}

// ---- threads ----

TEST_F(AppSettingsTest, GettersAndSettersMayRaceWithoutTearing) {
  auto settings = MakeSettings();
  LoadSettings(*settings);
  AppSettings::Values a = settings->Get();
  a.eventList = std::wstring(300, L'a') + L";";
  a.eventSubject = L"subject a";
  a.popupEventLevel = 1;
  AppSettings::Values b = a;
  b.eventList = L"b@lab.invalid;";
  b.eventSubject = std::wstring(500, L'b');
  b.popupEventLevel = 3;

  settings->Set(a);
  settings->SetAudioError(L"Disabled");
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 3000; ++i) {
      settings->Set(i % 2 ? a : b);
      settings->SetAudioError(i % 2 ? L"Disabled" : L"/sounds/error.wav");
    }
    done = true;
  });
  int reads = 0;
  int torn = 0;
  while (!done || reads < 100) {
    const AppSettings::Values v = settings->Get();
    const bool isA = v.eventList == a.eventList;
    if (!isA && v.eventList != b.eventList) ++torn;
    if (v.eventSubject != (isA ? a.eventSubject : b.eventSubject)) ++torn;
    if (v.popupEventLevel != (isA ? 1u : 3u)) ++torn;
    const std::wstring audio = settings->AudioError();
    if (audio != L"Disabled" && audio != L"/sounds/error.wav") ++torn;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace kestrune::settings
