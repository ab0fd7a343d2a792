// The registry store's costs as the programs meet them: opening the store at
// start-up, reading one settings value, one confirmed (durable) write, and
// the seventeen values of the settings saved one by one and together.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"

namespace {

using namespace kestrune;

constexpr const wchar_t* kSettingsKey = L"Software\\Brevalis\\Kestrune";

struct Store {
  Store() {
    std::string error;
    registry = platform::OpenSqliteRegistry(path, nullptr, error);
    if (registry == nullptr) return;
    registry->CreateKey(kSettingsKey, L"GenericClass", key);
    registry->SetValue(key, L"SMTP Server", platform::RegType::Sz,
                       platform::EncodeRegSz(L"mail.example.invalid"));
  }
  testing::TempDir dir;
  std::string path = dir.File("registry.db");
  std::unique_ptr<platform::Registry> registry;
  platform::RegKey key = platform::kNullKey;
};

void BM_OpenStore(benchmark::State& state) {
  Store store;
  std::string error;
  for (auto _ : state) {
    auto registry = platform::OpenSqliteRegistry(store.path, nullptr, error);
    benchmark::DoNotOptimize(registry);
  }
}
BENCHMARK(BM_OpenStore);

void BM_ReadValue(benchmark::State& state) {
  Store store;
  std::array<std::uint8_t, 440> buffer{};
  platform::RegType type = platform::RegType::None;
  std::size_t size = 0;
  for (auto _ : state) {
    store.registry->QueryValue(store.key, L"SMTP Server", type, buffer, size);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_ReadValue);

void BM_ConfirmedWrite(benchmark::State& state) {
  Store store;
  const auto data = platform::EncodeRegSz(L"mail.example.invalid");
  for (auto _ : state) {
    store.registry->SetValue(store.key, L"SMTP Server", platform::RegType::Sz, data);
  }
}
BENCHMARK(BM_ConfirmedWrite)->Unit(benchmark::kMicrosecond);

std::vector<platform::RegValue> SeventeenValues() {
  std::vector<platform::RegValue> values;
  for (int i = 0; i < 17; ++i) {
    values.push_back({L"Setting " + std::to_wstring(i), platform::RegType::Sz,
                      platform::EncodeRegSz(L"Kestrune - Event from system WORKBENCH.")});
  }
  return values;
}

void BM_SettingsOneByOne(benchmark::State& state) {
  Store store;
  const auto values = SeventeenValues();
  for (auto _ : state) {
    for (const auto& value : values) {
      store.registry->SetValue(store.key, value.name, value.type, value.data);
    }
  }
}
BENCHMARK(BM_SettingsOneByOne)->Unit(benchmark::kMillisecond);

void BM_SettingsTogether(benchmark::State& state) {
  Store store;
  const auto values = SeventeenValues();
  for (auto _ : state) store.registry->SetValues(store.key, values);
}
BENCHMARK(BM_SettingsTogether)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
