// FormatEvent: the text of each event record, the GPIO status kept in step
// with device and member events, and the marks for the logger.
#include "events/event_text.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "resources/strings.h"

namespace kestrune::evt {

namespace {

using res::FormatString;
using res::LoadString;

// Texts by code: severities 1-3, sense keys 0-15, drop reasons 1-2, RAID types
// 1-3, bad block types 1-6 and spare drive codes 1-4.
constexpr std::array kSeverityTexts = {res::kStrSeverityInformational, res::kStrSeverityWarning,
                                       res::kStrSeverityError};
constexpr std::array kSenseKeyTexts = {
    res::kStrSenseNoSense,        res::kStrSenseRecoveredError, res::kStrSenseNotReady,
    res::kStrSenseMediumError,    res::kStrSenseHardwareError,  res::kStrSenseIllegalError,
    res::kStrSenseUnitAttention,  res::kStrSenseDataProtect,    res::kStrSenseBlankCheck,
    res::kStrSenseVendorSpecific, res::kStrSenseCopyAborted,    res::kStrSenseAbortedCommand,
    res::kStrSenseEqual,          res::kStrSenseVolumeOverflow, res::kStrSenseMiscompare,
    res::kStrSenseReserved};
constexpr std::array kDropReasonTexts = {res::kStrDropReasonPortError,
                                         res::kStrDropReasonScsiError};
constexpr std::array kRaidTypeTexts = {res::kStrRaidTypeStriped, res::kStrRaidTypeMirrored,
                                       res::kStrRaidTypeMirroredStriped};
constexpr std::array kBbrByMember = {
    res::kStrEventBbrReplaceAttemptByMember, res::kStrEventBbrReplaceFailedByMember,
    res::kStrEventBbrReplaceDoneByMember,    res::kStrEventBbrFlagAttemptByMember,
    res::kStrEventBbrFlagFailedByMember,     res::kStrEventBbrFlagDoneByMember};
constexpr std::array kBbrBodies = {res::kStrEventBbrReplaceAttempt, res::kStrEventBbrReplaceFailed,
                                   res::kStrEventBbrReplaceDone,    res::kStrEventBbrFlagAttempt,
                                   res::kStrEventBbrFlagFailed,     res::kStrEventBbrFlagDone};

struct SpareTexts {
  unsigned title;
  unsigned byMember;
  unsigned body;
};
constexpr std::array<SpareTexts, 4> kSpareTexts = {{
    {res::kStrEventTitleSpareCreated, res::kStrEventSpareCreatedByMember,
     res::kStrEventSpareCreated},
    {res::kStrEventTitleSpareDeleted, res::kStrEventSpareDeletedByMember,
     res::kStrEventSpareDeleted},
    {res::kStrEventTitleSpareAdded, res::kStrEventSpareAddedByMember, res::kStrEventSpareAdded},
    {res::kStrEventTitleSpareTooSmall, res::kStrEventSpareTooSmallByMember,
     res::kStrEventSpareTooSmall},
}};

// The SRB status codes that have texts.
struct SrbText {
  std::uint8_t status;
  unsigned id;
};
constexpr std::array<SrbText, 26> kSrbStatusTexts = {{
    {0x00, res::kStrSrbPending},
    {0x01, res::kStrSrbSuccess},
    {0x02, res::kStrSrbAborted},
    {0x03, res::kStrSrbAbortFailed},
    {0x04, res::kStrSrbError},
    {0x05, res::kStrSrbBusy},
    {0x06, res::kStrSrbInvalidRequest},
    {0x07, res::kStrSrbInvalidPathId},
    {0x08, res::kStrSrbNoDevice},
    {0x09, res::kStrSrbTimeout},
    {0x0A, res::kStrSrbSelectionTimeout},
    {0x0B, res::kStrSrbCommandTimeout},
    {0x0D, res::kStrSrbMessageRejected},
    {0x0E, res::kStrSrbBusReset},
    {0x0F, res::kStrSrbParityError},
    {0x10, res::kStrSrbRequestSenseFailed},
    {0x11, res::kStrSrbNoHba},
    {0x12, res::kStrSrbDataOverrun},
    {0x13, res::kStrSrbUnexpectedBusFree},
    {0x14, res::kStrSrbPhaseSequenceFailure},
    {0x15, res::kStrSrbBadBlockLength},
    {0x16, res::kStrSrbRequestFlushed},
    {0x20, res::kStrSrbInvalidLun},
    {0x21, res::kStrSrbInvalidTargetId},
    {0x22, res::kStrSrbBadFunction},
    {0x23, res::kStrSrbErrorRecovery},
}};

enum class EventKind {
  UltraDma,
  DeviceChanged,
  NewDevice,
  DeviceRemoved,
  MemberDropped,
  MemberAdded,
  MemberRemoved,
  BusReset,
  Rebuild,
  MemberError,
  SpareDrive,
  SetCreated,
  SetDeleted,
  Unknown,
};

struct ClassEntry {
  EventGuid guid;
  EventKind kind;
};

// Tested in this order; the first whose sixteen bytes match wins.
const std::array<ClassEntry, 13> kClasses = {{
    {{0x650CC120, 0x94B0, 0x46EF, {0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32}},
     EventKind::UltraDma},
    {{0x629096C0, 0xFFB7, 0x4998, {0x8D, 0xFA, 0x4C, 0x39, 0x23, 0xDB, 0xBE, 0xDC}},
     EventKind::DeviceChanged},
    {{0x392545EB, 0xC108, 0x46C5, {0xA4, 0x5F, 0xAB, 0xBB, 0xEC, 0xDC, 0xA7, 0x62}},
     EventKind::NewDevice},
    {{0x90E49A68, 0x52C8, 0x47A9, {0xB5, 0x0B, 0x4D, 0x2C, 0x6F, 0xA9, 0x4B, 0x4B}},
     EventKind::DeviceRemoved},
    {{0x4B705BF7, 0x2A71, 0x47CE, {0xB0, 0x26, 0x76, 0x26, 0x3A, 0xDA, 0x87, 0x17}},
     EventKind::MemberDropped},
    {{0xD86DA798, 0x3D7C, 0x4507, {0x85, 0x9B, 0x96, 0xB4, 0xF1, 0x13, 0x7B, 0x79}},
     EventKind::MemberAdded},
    {{0x38D93923, 0xFA17, 0x417E, {0x9B, 0xEE, 0xDC, 0x6C, 0xCF, 0x4A, 0x40, 0x44}},
     EventKind::MemberRemoved},
    {{0x412EDC53, 0x66FD, 0x4A6A, {0x92, 0x8A, 0x22, 0xDA, 0xC8, 0x8B, 0x1B, 0x23}},
     EventKind::BusReset},
    {{0x6060575F, 0x4812, 0x476E, {0xAE, 0x55, 0xD5, 0x5F, 0x42, 0x36, 0xA6, 0xDC}},
     EventKind::Rebuild},
    {{0xF91BDB3D, 0x42A6, 0x4CE2, {0x91, 0x6B, 0xFA, 0xD3, 0x66, 0x2D, 0xAC, 0x0E}},
     EventKind::MemberError},
    {{0xB3F80651, 0xDD10, 0x4E5A, {0x9C, 0xCD, 0x32, 0x89, 0x80, 0x43, 0x5E, 0x0F}},
     EventKind::SpareDrive},
    {{0x4B658109, 0x9168, 0x4390, {0x83, 0x8C, 0x9F, 0x86, 0xE8, 0x62, 0x51, 0xE3}},
     EventKind::SetCreated},
    {{0x86B0E6FA, 0xE61F, 0x40DB, {0xAE, 0x42, 0x21, 0x82, 0x23, 0x45, 0x1D, 0x2B}},
     EventKind::SetDeleted},
}};

EventKind Classify(const EventGuid& guid) {
  for (const ClassEntry& entry : kClasses)
    if (entry.guid == guid) return entry.kind;
  return EventKind::Unknown;
}

// %d of a 32-bit value prints it signed, as the Windows printf does.
int Signed(std::uint32_t value) {
  return static_cast<int>(static_cast<std::int32_t>(value));
}

namespace ev = ctl::wire::event_record;

// The channel word and the device word that name a device in a body.
struct Label {
  std::wstring channel;
  std::wstring device;
};

// From the channel and device bytes of the device events (lower-case words).
Label ByteLabel(std::uint8_t channel, std::uint8_t device, bool extended) {
  if (extended)
    return {FormatString(res::kStrChannelNumber, int{channel}), LoadString(res::kStrDevice)};
  return {LoadString(channel == 0 ? res::kStrPrimaryLower : res::kStrSecondaryLower),
          LoadString(device == 0 ? res::kStrMasterLower : res::kStrSlaveLower)};
}

// From a device index of the member, rebuild and spare drive events.
Label IndexLabel(std::uint8_t index, bool extended) {
  if (extended)
    return {FormatString(res::kStrChannelNumber, int{index}), LoadString(res::kStrDevice)};
  return {LoadString(index <= 1 ? res::kStrPrimary : res::kStrSecondary),
          LoadString(index == 0 || index == 2 ? res::kStrMaster : res::kStrSlave)};
}

// Each byte is the character of that code, a zero byte a blank; trailing
// blanks are dropped.
std::wstring ModelText(const EventRecord& record) {
  std::wstring text;
  for (std::size_t i = 0; i < ev::device::kModel.size; ++i) {
    const std::uint8_t b = record.Byte(ev::device::kModel.offset + i);
    text.push_back(b == 0 ? L' ' : static_cast<wchar_t>(b));
  }
  text.erase(text.find_last_not_of(L' ') + 1);
  return text;
}

constexpr std::array<std::wstring_view, 12> kMonths = {
    L"January", L"February", L"March",     L"April",   L"May",      L"June",
    L"July",    L"August",   L"September", L"October", L"November", L"December"};

std::wstring TwoDigits(long long value) {
  return res::Sprintf(L"%02lld", value);
}

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

// The civil UTC time of seconds since 1970, for every value a FILETIME gives.
std::tm UtcBreakdown(std::int64_t seconds) {
  constexpr std::int64_t kDay = 86400;
  std::int64_t days = seconds / kDay;
  std::int64_t rest = seconds % kDay;
  if (rest < 0) {
    rest += kDay;
    --days;
  }
  // Days to year, month and day in the proleptic Gregorian calendar.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::tm tm{};
  tm.tm_year = static_cast<int>(year - 1900);
  tm.tm_mon = static_cast<int>(month - 1);
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(rest / 3600);
  tm.tm_min = static_cast<int>(rest / 60 % 60);
  tm.tm_sec = static_cast<int>(rest % 60);
  return tm;
}

// Builds one event's title and body, and keeps the GPIO status and the marks.
class Composer {
 public:
  Composer(ctl::CControllerIo& io, ctl::AdapterRecord* adapter, bool extended, bool members,
           const EventRecord& record, std::uint32_t adapterNumber, bool& refresh, bool& rescan)
      : io_(io),
        adapter_(adapter),
        extended_(extended),
        members_(members),
        r_(record),
        adapterNo_(Signed(adapterNumber)),
        refresh_(refresh),
        rescan_(rescan) {}

  void Compose() {
    switch (Classify(r_.eventClass)) {
      case EventKind::UltraDma:
        UltraDma();
        break;
      case EventKind::DeviceChanged:
        DeviceEvent(res::kStrEventTitleDeviceChanged, res::kStrEventDeviceNew);
        break;
      case EventKind::NewDevice:
        DeviceEvent(res::kStrEventTitleNewDevice, res::kStrEventDeviceNew);
        refresh_ = true;
        ChangeBit(Get(ev::device::kChannel), true);
        break;
      case EventKind::DeviceRemoved:
        DeviceEvent(res::kStrEventTitleDeviceRemoved, res::kStrEventDeviceRemoved);
        refresh_ = true;
        ChangeBit(Get(ev::device::kChannel), false);
        break;
      case EventKind::MemberDropped:
        MemberDropped();
        break;
      case EventKind::MemberAdded:
        MemberAdded();
        break;
      case EventKind::MemberRemoved:
        MemberRemoved();
        break;
      case EventKind::BusReset:
        title_ = LoadString(res::kStrEventTitleBusReset);
        body_ = FormatString(res::kStrEventBusReset, int{Get(ev::bus_reset::kBus)}, adapterNo_);
        refresh_ = true;
        break;
      case EventKind::Rebuild:
        Rebuild();
        break;
      case EventKind::MemberError:
        MemberError();
        break;
      case EventKind::SpareDrive:
        SpareDrive();
        break;
      case EventKind::SetCreated:
        SetEvent(res::kStrEventTitleSetCreated, res::kStrEventSetCreated);
        break;
      case EventKind::SetDeleted:
        SetEvent(res::kStrEventTitleSetDeleted, res::kStrEventSetDeleted);
        break;
      case EventKind::Unknown:
        Unknown();
        break;
    }
  }

  std::wstring Text() const { return title_ + body_; }

 private:
  std::uint8_t Get(ctl::wire::U8 field) const { return r_.Get(field); }
  std::uint32_t Get(ctl::wire::U32 field) const { return r_.Get(field); }

  // Changes one bit of the adapter's GPIO status and writes the byte, also
  // when it stays the same; a bit position outside the byte changes nothing.
  void ChangeBit(unsigned position, bool on) {
    if (!adapter_) return;
    std::uint8_t status = adapter_->gpioStatus;
    if (position < 8) {
      const auto bit = static_cast<std::uint8_t>(1U << position);
      status = static_cast<std::uint8_t>(on ? status | bit : status & ~bit);
    }
    adapter_->gpioStatus = status;
    io_.WriteGpioStatus(*adapter_, true, status);
  }
  void ChangeRebuildBit(std::uint8_t deviceIndex, bool on) { ChangeBit(4U + deviceIndex, on); }

  void UltraDma() {
    namespace f = ev::ultra_dma;
    const Label label = ByteLabel(Get(f::kChannel), Get(f::kDevice), extended_);
    title_ = LoadString(res::kStrEventTitleUltraDma);
    body_ = FormatString(res::kStrEventUltraDma, label.channel, label.device, adapterNo_,
                         int{Get(f::kOldMode)}, int{Get(f::kNewMode)});
  }

  void DeviceEvent(unsigned titleId, unsigned bodyId) {
    const Label label = ByteLabel(Get(ev::device::kChannel), Get(ev::device::kDevice), extended_);
    title_ = LoadString(titleId);
    body_ = FormatString(bodyId, label.channel, label.device, adapterNo_, ModelText(r_));
  }

  void MemberDropped() {
    namespace f = ev::member_dropped;
    const int set = Get(f::kSet), member = Get(f::kMember);
    const std::uint8_t index = Get(f::kDeviceIndex);
    const std::wstring reason = DropReasonText(Get(f::kReason));
    const std::wstring status = SrbStatusText(Get(f::kSrbStatus));
    title_ = LoadString(res::kStrEventTitleMemberDropped);
    if (members_) {
      body_ = FormatString(res::kStrEventMemberDroppedByMember, set, member, adapterNo_, reason,
                           status);
    } else {
      const Label label = IndexLabel(index, extended_);
      body_ = FormatString(res::kStrEventMemberDropped, set, label.channel, label.device,
                           adapterNo_, reason, status);
    }
    rescan_ = true;
    ChangeBit(index, false);
  }

  void MemberAdded() {
    const std::uint8_t index = Get(ev::member_added::kDeviceIndex);
    title_ = LoadString(res::kStrEventTitleMemberAdded);
    body_ = FormatString(res::kStrEventMemberAdded, int{index}, int{Get(ev::member_added::kSet)},
                         adapterNo_);
    refresh_ = true;
    rescan_ = true;
    ChangeBit(index, true);
  }

  void MemberRemoved() {
    namespace f = ev::member_removed;
    const int set = Get(f::kSet), member = Get(f::kMember);
    const std::uint8_t index = Get(f::kDeviceIndex);
    title_ = LoadString(res::kStrEventTitleMemberRemoved);
    if (members_) {
      body_ = FormatString(res::kStrEventMemberRemovedByMember, member, set, adapterNo_);
    } else {
      const Label label = IndexLabel(index, extended_);
      body_ =
          FormatString(res::kStrEventMemberRemoved, label.channel, label.device, set, adapterNo_);
    }
    rescan_ = true;
    ChangeBit(index, false);
  }

  void Rebuild() {
    namespace f = ev::rebuild;
    const int set = Get(f::kSet), member = Get(f::kMember), status = Get(f::kStatus);
    const std::uint8_t index = Get(f::kDeviceIndex);
    const Label label = IndexLabel(index, extended_);
    if (status == 1 || status == 5) {
      const bool complete = status == 1;
      title_ = LoadString(complete ? res::kStrEventTitleRebuildComplete
                                   : res::kStrEventTitleRebuildStarted);
      if (members_) {
        body_ = FormatString(
            complete ? res::kStrEventRebuildCompleteByMember : res::kStrEventRebuildStartedByMember,
            set, member, adapterNo_);
      } else {
        body_ =
            FormatString(complete ? res::kStrEventRebuildComplete : res::kStrEventRebuildStarted,
                         set, label.channel, label.device, adapterNo_);
      }
      rescan_ = true;
      // A set rebuild bit means no rebuild runs on the device.
      ChangeRebuildBit(index, complete);
      return;
    }
    title_ = LoadString(res::kStrEventTitleRebuildOther);
    if (members_) {
      body_ = FormatString(res::kStrEventRebuildOtherByMember, status, member, set, adapterNo_);
    } else {
      body_ = FormatString(res::kStrEventRebuildOther, status, label.channel, label.device, set,
                           adapterNo_);
    }
    ChangeRebuildBit(index, true);
  }

  void MemberError() {
    namespace f = ev::member_error;
    const int set = Get(f::kSet), member = Get(f::kMember);
    const std::uint8_t index = Get(f::kDeviceIndex);
    const std::uint8_t kind = Get(f::kKind);
    const Label label = IndexLabel(index, extended_);
    // Member errors have no title: the body starts with its own first line.
    if (kind == 1) {
      const std::wstring status = SrbStatusText(Get(f::kPortSrbStatus));
      const std::wstring cdb = CdbText(r_, f::kPortCdb);
      if (members_) {
        body_ = FormatString(res::kStrEventPortErrorByMember, status, member, set, adapterNo_,
                             label.channel, label.device, cdb);
      } else {
        body_ = FormatString(res::kStrEventPortError, status, label.channel, label.device,
                             adapterNo_, label.channel, label.device, cdb);
      }
    } else if (kind == 2) {
      const std::uint8_t key = Get(f::kSenseKey);
      const std::wstring keyText = SenseKeyText(key);
      const std::wstring cdb = CdbText(r_, f::kScsiCdb);
      const unsigned asc = Get(f::kAsc), ascq = Get(f::kAscq);
      const unsigned i0 = Get(f::kInformation0), i1 = Get(f::kInformation1),
                     i2 = Get(f::kInformation2), i3 = Get(f::kInformation3);
      if (members_) {
        body_ = FormatString(res::kStrEventScsiErrorByMember, keyText, member, set, adapterNo_,
                             label.channel, label.device, unsigned{key}, asc, ascq, cdb, i0, i1, i2,
                             i3);
      } else {
        body_ = FormatString(res::kStrEventScsiError, keyText, label.channel, label.device,
                             adapterNo_, label.channel, label.device, unsigned{key}, asc, ascq, cdb,
                             i0, i1, i2, i3);
      }
    } else if (kind == 4) {
      BadBlock(set, member, label);
    } else if (members_) {
      body_ =
          FormatString(res::kStrEventMemberErrorOtherByMember, int{kind}, member, set, adapterNo_);
    } else {
      body_ = FormatString(res::kStrEventMemberErrorOther, int{kind}, label.channel, label.device,
                           adapterNo_);
    }
    ChangeBit(index, false);
  }

  void BadBlock(int set, int member, const Label& label) {
    const std::uint32_t type = Get(ev::member_error::kBbrType);
    const std::uint32_t block = Get(ev::member_error::kBlock);
    const std::uint32_t virtualBlock = Get(ev::member_error::kVirtualBlock);
    if (type >= 1 && type <= 6) {
      // Types 2 and 5 name the device before the block, the others after it.
      const bool deviceFirst = type == 2 || type == 5;
      const unsigned offset = type - 1;
      if (members_) {
        const unsigned id = kBbrByMember[offset];
        body_ = deviceFirst ? FormatString(id, member, set, adapterNo_, block)
                            : FormatString(id, block, member, set, adapterNo_);
      } else {
        const unsigned id = kBbrBodies[offset];
        body_ = deviceFirst ? FormatString(id, label.channel, label.device, adapterNo_, block)
                            : FormatString(id, block, label.channel, label.device, adapterNo_);
      }
    } else if (members_) {
      body_ = FormatString(res::kStrEventBbrOtherByMember, Signed(type), block, member, set,
                           adapterNo_);
    } else {
      body_ = FormatString(res::kStrEventBbrOther, Signed(type), block, label.channel, label.device,
                           adapterNo_);
    }
    body_ += FormatString(res::kStrEventVirtualBlock, label.channel, label.device, virtualBlock);
  }

  void SpareDrive() {
    namespace f = ev::spare_drive;
    const std::uint8_t code = Get(f::kCode);
    const std::uint8_t index = Get(f::kDeviceIndex);
    // The spare drive's own set and member bytes.
    const int set = Get(f::kSet), member = Get(f::kMember);
    const Label label = IndexLabel(index, extended_);
    const int indexNumber = index;
    switch (code) {
      case 1:
      case 2: {
        const SpareTexts& texts = kSpareTexts[code - 1U];
        title_ = LoadString(texts.title);
        body_ = members_ ? FormatString(texts.byMember, adapterNo_, indexNumber)
                         : FormatString(texts.body, adapterNo_, label.channel, label.device);
        break;
      }
      case 3: {
        const SpareTexts& texts = kSpareTexts[2];
        title_ = LoadString(texts.title);
        body_ = members_ ? FormatString(texts.byMember, set, member, adapterNo_, indexNumber)
                         : FormatString(texts.body, set, member, adapterNo_, label.channel,
                                        label.device);
        refresh_ = true;
        rescan_ = true;
        break;
      }
      case 4: {
        const SpareTexts& texts = kSpareTexts[3];
        title_ = LoadString(texts.title);
        body_ = members_ ? FormatString(texts.byMember, set, adapterNo_, indexNumber)
                         : FormatString(texts.body, set, adapterNo_, label.channel, label.device);
        break;
      }
      default:
        title_ = LoadString(res::kStrEventTitleSpareOther);
        body_ = members_ ? FormatString(res::kStrEventSpareOtherByMember, unsigned{code}, set,
                                        member, indexNumber, adapterNo_)
                         : FormatString(res::kStrEventSpareOther, unsigned{code}, set, member,
                                        label.channel, label.device, adapterNo_);
        break;
    }
  }

  void SetEvent(unsigned titleId, unsigned bodyId) {
    title_ = LoadString(titleId);
    body_ = FormatString(bodyId, RaidTypeText(Get(ev::set_event::kRaidType)), adapterNo_);
    rescan_ = true;
  }

  void Unknown() {
    const EventGuid& g = r_.eventClass;
    title_ = LoadString(res::kStrEventTitleUnknown);
    body_ = FormatString(res::kStrEventUnknownGuid, adapterNo_, g.data1, unsigned{g.data2},
                         unsigned{g.data3}, unsigned{g.data4[0]}, unsigned{g.data4[1]},
                         unsigned{g.data4[2]}, unsigned{g.data4[3]}, unsigned{g.data4[4]},
                         unsigned{g.data4[5]}, unsigned{g.data4[6]}, unsigned{g.data4[7]});
    // The class data and the four bytes after the record, six a row.
    for (std::size_t row = ev::kClassData.offset; row < kClassDataEnd; row += 6) {
      const auto at = [&](std::size_t i) { return unsigned{r_.Byte(row + i)}; };
      body_ += FormatString(res::kStrEventUnknownRow, at(0), at(1), at(2), at(3), at(4), at(5));
    }
  }

  ctl::CControllerIo& io_;
  ctl::AdapterRecord* adapter_;
  bool extended_;
  bool members_;
  const EventRecord& r_;
  int adapterNo_;
  bool& refresh_;
  bool& rescan_;
  std::wstring title_;
  std::wstring body_;
};

}  // namespace

std::wstring SeverityText(std::uint32_t severity) {
  if (severity >= 1 && severity <= 3) return LoadString(kSeverityTexts[severity - 1]);
  return FormatString(res::kStrSeverityLevel, Signed(severity));
}

std::wstring SrbStatusText(std::uint8_t status) {
  for (const SrbText& entry : kSrbStatusTexts)
    if (entry.status == status) return LoadString(entry.id);
  return FormatString(res::kStrSrbStatusUnknown, int{status});
}

std::wstring SenseKeyText(std::uint8_t senseKey) {
  if (senseKey < kSenseKeyTexts.size()) return LoadString(kSenseKeyTexts[senseKey]);
  return LoadString(res::kStrSenseKeyUnknown);
}

std::wstring DropReasonText(std::uint8_t reason) {
  if (reason == 1 || reason == 2) return LoadString(kDropReasonTexts[reason - 1U]);
  return LoadString(res::kStrDropReasonUnknown);
}

std::wstring RaidTypeText(std::uint8_t raidType) {
  if (raidType >= 1 && raidType <= 3) return LoadString(kRaidTypeTexts[raidType - 1U]);
  return std::wstring();
}

std::wstring CdbText(const EventRecord& record, std::size_t recordOffset) {
  std::wstring text = LoadString(res::kStrCdbPrefix);
  if (recordOffset < ev::kClassData.offset || recordOffset >= kClassDataEnd) return text;
  // The operation code's group (top three bits) gives the command length.
  const std::uint8_t operation = record.Byte(recordOffset);
  const std::size_t length = operation < 0x20 ? 6 : operation < 0x60 ? 10 : 12;
  const std::size_t count = std::min(length, kClassDataEnd - recordOffset);
  for (std::size_t i = 0; i < count; ++i)
    text += FormatString(res::kStrCdbByte, unsigned{record.Byte(recordOffset + i)});
  return text;
}

std::wstring FormatLocalTime(const std::tm& local) {
  const std::wstring& format = LoadString(res::kStrTimeFormat);
  std::wstring text;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%' || i + 1 == format.size()) {
      text.push_back(format[i]);
      continue;
    }
    const wchar_t directive = format[++i];
    const bool monthKnown = local.tm_mon >= 0 && local.tm_mon < 12;
    const long long year = 1900LL + local.tm_year;
    switch (directive) {
      case L'd':
        text += TwoDigits(local.tm_mday);
        break;
      case L'm':
        text += TwoDigits(local.tm_mon + 1LL);
        break;
      case L'B':
        if (monthKnown) text += kMonths[static_cast<std::size_t>(local.tm_mon)];
        break;
      case L'b':
        if (monthKnown) text += kMonths[static_cast<std::size_t>(local.tm_mon)].substr(0, 3);
        break;
      case L'Y':
        text += std::to_wstring(year);
        break;
      case L'y':
        text += TwoDigits((year % 100 + 100) % 100);
        break;
      case L'H':
        text += TwoDigits(local.tm_hour);
        break;
      case L'M':
        text += TwoDigits(local.tm_min);
        break;
      case L'S':
        text += TwoDigits(local.tm_sec);
        break;
      case L'%':
        text.push_back(L'%');
        break;
      default:
        text.push_back(L'%');
        text.push_back(directive);
        break;
    }
  }
  return text;
}

std::wstring FormatEventTime(std::uint64_t filetime) {
  static_assert(sizeof(std::time_t) >= 8, "every FILETIME second must fit a time_t");
  // At most about 1.8e12 seconds: far inside what time_t and struct tm hold.
  const std::int64_t seconds =
      static_cast<std::int64_t>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970;
  const std::time_t time = seconds;
  std::tm local{};
  if (localtime_r(&time, &local) != nullptr) return FormatLocalTime(local);
  return FormatLocalTime(UtcBreakdown(seconds));
}

std::tm FiletimeToUtc(std::uint64_t filetime) {
  return UtcBreakdown(static_cast<std::int64_t>(filetime / kTicksPerSecond) -
                      kSecondsFrom1601To1970);
}

EventFormatter::EventFormatter(ctl::CControllerIo& io) : io_(io) {}

void EventFormatter::FormatEvent(const EventRecord& record, std::uint32_t adapterNumber,
                                 std::wstring& text) {
  std::wstring titleAndBody;
  {
    ctl::CControllerIo::Lock lock(io_);
    ctl::AdapterRecord* adapter = io_.Model().Adapter(adapterNumber);
    // The LED state is read before every event; the answer is not used.
    if (adapter) io_.WriteGpioStatus(*adapter, false, adapter->gpioStatus);
    Composer composer(io_, adapter, io_.Model().extendedNaming, io_.MemberNumbering(), record,
                      adapterNumber, refreshTree_, rescanAdapter_);
    composer.Compose();
    titleAndBody = composer.Text();
  }
  text = FormatEventTime(record.timeStamp) + L"\t" + SeverityText(record.severity) + L" - " +
         titleAndBody;
}

}  // namespace kestrune::evt
