// Event texts: the one multi-line text of each event record, with the LED
// (GPIO) change and the refresh and rescan marks that go with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "events/event_record.h"
#include "events/event_time.h"

namespace kestrune::evt {

// Lookup texts of the event bodies.
std::wstring SeverityText(std::uint32_t severity);  // 13 characters for 1-3
std::wstring SrbStatusText(std::uint8_t status);
std::wstring SenseKeyText(std::uint8_t senseKey);
std::wstring DropReasonText(std::uint8_t reason);
std::wstring RaidTypeText(std::uint8_t raidType);
// "CDB " and the command bytes from a record offset, as many as the operation
// code's group gives (6, 10 or 12). Bytes beyond the record and the four that
// follow it are not read: the text then ends with the last byte available.
std::wstring CdbText(const EventRecord& record, std::size_t recordOffset);

// One bit of an adapter's LED (GPIO) status byte to set or clear: bits 0-3
// are presence bits, bits 4-7 rebuild bits (a set bit: no rebuild runs). A
// position of 8 or more changes no bit, but the byte is written all the same.
struct LedChange {
  unsigned bit = 0;
  bool on = false;

  constexpr std::uint8_t AppliedTo(std::uint8_t status) const {
    if (bit >= 8) return status;
    const auto mask = static_cast<std::uint8_t>(1U << bit);
    return static_cast<std::uint8_t>(on ? status | mask : status & ~mask);
  }
  friend bool operator==(const LedChange&, const LedChange&) = default;
};

// What a text depends on besides the record.
struct EventContext {
  bool extendedNaming = false;   // channels and devices as "Channel %d" and "Device"
  bool memberNumbering = false;  // member-number texts for member events
};

struct ComposedEvent {
  // Time stamp, tab, severity, " - ", title and body.
  std::wstring text;
  // The change device and member events make to the LED status.
  std::optional<LedChange> led;
  bool refreshTree = false;    // the adapter's tree branch must be rebuilt
  bool rescanAdapter = false;  // the adapter's sets must be read again
};

// The text of `record` reported by the adapter with the 0-based number
// `adapterNumber`. Reads nothing but its arguments and the string table, and
// changes nothing: the caller applies the LED change and the marks.
ComposedEvent ComposeEvent(const EventRecord& record, std::uint32_t adapterNumber,
                           const EventContext& context);

// Turns event records into texts for one logger, against the controller's
// model. Not thread-safe; the logger thread owns it. The model is read and the
// LED status changed under the controller's lock.
class EventFormatter {
 public:
  explicit EventFormatter(ctl::CControllerIo& io);

  // Sends the adapter the LED status read that precedes every event (its
  // answer is not used), composes the text of `record` into `text` and sets
  // the marks below. Returns the LED change the event asks for, which the
  // caller applies with ApplyLedChange. An adapter number with no adapter in
  // the model still gets its text, without GPIO requests.
  std::optional<LedChange> FormatEvent(const EventRecord& record, std::uint32_t adapterNumber,
                                       std::wstring& text);
  // Changes the bit in the adapter's LED status and writes the byte to the
  // adapter; nothing when the model has no such adapter.
  void ApplyLedChange(std::uint32_t adapterNumber, const LedChange& change);

  // The adapter's tree branch must be rebuilt.
  bool RefreshTreeMark() const { return refreshTree_; }
  // The adapter's sets must be read again.
  bool RescanAdapterMark() const { return rescanAdapter_; }
  void ClearMarks() {
    refreshTree_ = false;
    rescanAdapter_ = false;
  }

 private:
  ctl::CControllerIo& io_;
  bool refreshTree_ = false;
  bool rescanAdapter_ = false;
};

}  // namespace kestrune::evt
