// Event records written out by hand, and a controller over a recording port
// device with one adapter in its model.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controller/controller_io.h"
#include "controller/fake_device.h"
#include "events/event_record.h"
#include "platform/recording_ui.h"

namespace kestrune::test {

// 2004-03-05 14:07:09 UTC as a FILETIME, and its text in UTC.
inline constexpr std::uint64_t kStamp = 127229692290000000ULL;
inline constexpr wchar_t kStampText[] = L"05-March-2004 14:07.09";

// An 88-byte record built field by field at its record offsets.
struct RecordBytes {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(88, 0);

  // guid as "650CC120-94B0-46EF-9C61-0520199E3232".
  explicit RecordBytes(std::string_view guid, std::uint32_t severity = 1,
                       std::uint64_t stamp = kStamp) {
    auto hex = [&](std::size_t at, std::size_t digits) {
      return std::stoul(std::string(guid.substr(at, digits)), nullptr, 16);
    };
    Word(0, static_cast<std::uint32_t>(hex(0, 8)));
    Put(4, {static_cast<std::uint8_t>(hex(11, 2)), static_cast<std::uint8_t>(hex(9, 2))});
    Put(6, {static_cast<std::uint8_t>(hex(16, 2)), static_cast<std::uint8_t>(hex(14, 2))});
    Put(8, {static_cast<std::uint8_t>(hex(19, 2)), static_cast<std::uint8_t>(hex(21, 2))});
    for (std::size_t i = 0; i < 6; ++i)
      bytes[10 + i] = static_cast<std::uint8_t>(hex(24 + 2 * i, 2));
    Word(24, static_cast<std::uint32_t>(stamp));
    Word(28, static_cast<std::uint32_t>(stamp >> 32));
    Word(40, severity);
  }
  RecordBytes& Put(std::size_t offset, std::initializer_list<int> values) {
    for (int v : values) bytes.at(offset++) = static_cast<std::uint8_t>(v);
    return *this;
  }
  RecordBytes& Word(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
      bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    return *this;
  }
  RecordBytes& Text(std::size_t offset, std::string_view text) {
    for (char c : text) bytes.at(offset++) = static_cast<std::uint8_t>(c);
    return *this;
  }
  evt::EventRecord Record() const { return evt::DecodeEventRecord(bytes); }
};

namespace guid {
inline constexpr std::string_view kUltraDma = "650CC120-94B0-46EF-9C61-0520199E3232";
inline constexpr std::string_view kDeviceChanged = "629096C0-FFB7-4998-8DFA-4C3923DBBEDC";
inline constexpr std::string_view kNewDevice = "392545EB-C108-46C5-A45F-ABBBECDCA762";
inline constexpr std::string_view kDeviceRemoved = "90E49A68-52C8-47A9-B50B-4D2C6FA94B4B";
inline constexpr std::string_view kMemberDropped = "4B705BF7-2A71-47CE-B026-76263ADA8717";
inline constexpr std::string_view kMemberAdded = "D86DA798-3D7C-4507-859B-96B4F1137B79";
inline constexpr std::string_view kMemberRemoved = "38D93923-FA17-417E-9BEE-DC6CCF4A4044";
inline constexpr std::string_view kBusReset = "412EDC53-66FD-4A6A-928A-22DAC88B1B23";
inline constexpr std::string_view kRebuild = "6060575F-4812-476E-AE55-D55F4236A6DC";
inline constexpr std::string_view kMemberError = "F91BDB3D-42A6-4CE2-916B-FAD3662DAC0E";
inline constexpr std::string_view kSpareDrive = "B3F80651-DD10-4E5A-9CCD-328980435E0F";
inline constexpr std::string_view kSetCreated = "4B658109-9168-4390-838C-9F86E86251E3";
inline constexpr std::string_view kSetDeleted = "86B0E6FA-E61F-40DB-AE42-218223451D2B";
}  // namespace guid

inline constexpr std::uint32_t kGpioCode = 0x42028;

// One adapter (number 0) at list position 1; every request answers return
// code 0 unless gpioReturnCode says otherwise for the GPIO request.
struct EventRig {
  std::uint32_t gpioReturnCode = 0;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<FakeDevice> device;
  std::unique_ptr<ctl::CControllerIo> io;

  explicit EventRig(bool extendedNaming = false, std::uint8_t gpioStatus = 0xF0) {
    device = std::make_shared<FakeDevice>(
        1, [this](const SentRequest& sent, std::span<std::uint8_t> buffer) {
          Put32(buffer, 20, ControlCodeOf(sent) == kGpioCode ? gpioReturnCode : 0);
          return platform::ControlResult{true, static_cast<std::uint32_t>(sent.outSize), 0};
        });
    io = std::make_unique<ctl::CControllerIo>(
        ctl::ControllerServices{device, nullptr, nullptr, nullptr, ui, nullptr});
    ctl::CControllerIo::Lock lock(*io);
    auto& model = io->Model();
    model.adapters[1] = std::make_unique<ctl::AdapterRecord>();
    model.adapters[1]->handle = 1;
    model.adapters[1]->driverMajor = extendedNaming ? 2 : 1;
    model.adapters[1]->gpioStatus = gpioStatus;
    model.entryCount = 2;
    model.extendedNaming = extendedNaming;
  }

  ctl::AdapterRecord& Adapter() { return *io->Model().adapters[1]; }
  std::uint8_t Gpio() {
    ctl::CControllerIo::Lock lock(*io);
    return Adapter().gpioStatus;
  }

  // The first successful RAID layer version query ends member numbering.
  void EndMemberNumbering() {
    io->QueryRioVersion(Adapter());
    device->requests.clear();
  }

  // (data+0, data+1) of every GPIO status request, in order.
  std::vector<std::pair<int, int>> GpioRequests() const {
    std::vector<std::pair<int, int>> out;
    for (const SentRequest& r : device->requests)
      if (ControlCodeOf(r) == kGpioCode) out.emplace_back(r.input[28], r.input[29]);
    return out;
  }
};

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace kestrune::test
