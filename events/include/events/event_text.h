// Event texts: the one multi-line text of each event record, with the LED
// (GPIO) bookkeeping and the refresh and rescan marks that go with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "controller/controller_io.h"
#include "events/event_record.h"

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

// A broken-down local time as string 9 lays it out, with English month names
// whatever the process locale.
std::wstring FormatLocalTime(const std::tm& local);
// A FILETIME (UTC) converted to local time and formatted as above. Every
// FILETIME value gives a text: should the C library fail to break a time down,
// the UTC time is shown instead.
std::wstring FormatEventTime(std::uint64_t filetime);
// A FILETIME as UTC calendar time, computed without the C library (the
// fallback above); defined for every FILETIME value.
std::tm FiletimeToUtc(std::uint64_t filetime);

// Turns event records into texts for one logger. Not thread-safe; the logger
// thread owns it. The model is read and the GPIO status changed under the
// controller's lock.
class EventFormatter {
 public:
  explicit EventFormatter(ctl::CControllerIo& io);

  // Builds the text of `record` reported by the adapter with the 0-based
  // number `adapterNumber` into `text`: time stamp, tab, severity, " - ",
  // title and body. Reads and, for device and member events, writes the
  // adapter's GPIO status; sets the marks below. An adapter number with no
  // adapter in the model still gets its text, without GPIO requests.
  void FormatEvent(const EventRecord& record, std::uint32_t adapterNumber, std::wstring& text);

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
