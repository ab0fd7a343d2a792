// The text of each event record with the LED change and the marks it asks
// for (composed without touching the model or the driver), and the formatter
// that reads the adapter's state for it and applies the LED change.
#include "events/event_text.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "controller/identity.h"
#include "events/event_class.h"
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

// %d of a 32-bit value prints it signed, as the Windows printf does.
int Signed(std::uint32_t value) {
  return static_cast<int>(static_cast<std::int32_t>(value));
}

namespace ev = ctl::wire::event_record;

// The channel word and the device word that name a device in a body. A device
// index of the member, rebuild and spare drive events is named as the
// configuration model names it (ctl::ChannelAndDeviceName).
using Label = ctl::LocationName;

// From the channel and device bytes of the device events (lower-case words).
Label ByteLabel(std::uint8_t channel, std::uint8_t device, bool extended) {
  if (extended)
    return {FormatString(res::kStrChannelNumber, int{channel}), LoadString(res::kStrDevice)};
  return {LoadString(channel == 0 ? res::kStrPrimaryLower : res::kStrSecondaryLower),
          LoadString(device == 0 ? res::kStrMasterLower : res::kStrSlaveLower)};
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

// Builds one event's title and body, the LED change and the marks.
class Composer {
 public:
  Composer(const EventContext& context, const EventRecord& record, std::uint32_t adapterNumber,
           ComposedEvent& out)
      : extended_(context.extendedNaming),
        members_(context.memberNumbering),
        r_(record),
        adapterNo_(Signed(adapterNumber)),
        refresh_(out.refreshTree),
        rescan_(out.rescanAdapter),
        led_(out.led) {}

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
      case EventKind::ArrayNotice:
        ArrayNotice();
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

  void ChangeBit(unsigned position, bool on) { led_ = LedChange{position, on}; }
  void ChangeRebuildBit(std::uint8_t deviceIndex, bool on) { ChangeBit(4U + deviceIndex, on); }

  // Byte 44 the notice, 46-85 the text naming the array and what happened.
  void ArrayNotice() {
    static constexpr std::array kTitles = {
        res::kStrEventTitleArrayDegraded,        res::kStrEventTitleArrayMemberFailed,
        res::kStrEventTitleArrayRebuildStarted,  res::kStrEventTitleArrayRebuildComplete,
        res::kStrEventTitleArrayRecovered,       res::kStrEventTitleArrayAppeared,
        res::kStrEventTitleArrayGone,            res::kStrEventTitleArrayFailed,
        res::kStrEventTitleDiskChangeMade,       res::kStrEventTitleDiskChangeRefused};
    const std::uint8_t code = Get(ctl::wire::U8{44});
    title_ = code >= 1 && code <= kTitles.size() ? LoadString(kTitles[code - 1U])
                                                 : FormatString(res::kStrEventTitleArrayNotice,
                                                                int{code});
    std::wstring text = ModelText(r_);
    body_ = FormatString(res::kStrEventArrayNotice, text, adapterNo_);
    // An array that changed may have taken or given up disks of the tree.
    refresh_ = true;
  }

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
      const Label label = ctl::ChannelAndDeviceName(index, extended_);
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
      const Label label = ctl::ChannelAndDeviceName(index, extended_);
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
    const Label label = ctl::ChannelAndDeviceName(index, extended_);
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
    const Label label = ctl::ChannelAndDeviceName(index, extended_);
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
    const Label label = ctl::ChannelAndDeviceName(index, extended_);
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

  bool extended_;
  bool members_;
  const EventRecord& r_;
  int adapterNo_;
  bool& refresh_;
  bool& rescan_;
  std::optional<LedChange>& led_;
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

ComposedEvent ComposeEvent(const EventRecord& record, std::uint32_t adapterNumber,
                           const EventContext& context) {
  ComposedEvent event;
  Composer composer(context, record, adapterNumber, event);
  composer.Compose();
  event.text = FormatEventTime(record.timeStamp) + L"\t" + SeverityText(record.severity) + L" - " +
               composer.Text();
  return event;
}

EventFormatter::EventFormatter(ctl::CControllerIo& io) : io_(io) {}

std::optional<LedChange> EventFormatter::FormatEvent(const EventRecord& record,
                                                     std::uint32_t adapterNumber,
                                                     std::wstring& text) {
  EventContext context;
  {
    ctl::CControllerIo::Lock lock(io_);
    // The LED state is read before every event; the answer is not used.
    io_.ReadGpioStatus(adapterNumber);
    context.extendedNaming = io_.Model().extendedNaming;
    context.memberNumbering = io_.MemberNumbering();
  }
  ComposedEvent event = ComposeEvent(record, adapterNumber, context);
  refreshTree_ = refreshTree_ || event.refreshTree;
  rescanAdapter_ = rescanAdapter_ || event.rescanAdapter;
  text = std::move(event.text);
  return event.led;
}

void EventFormatter::ApplyLedChange(std::uint32_t adapterNumber, const LedChange& change) {
  io_.ChangeGpioStatus(adapterNumber,
                       [&change](std::uint8_t status) { return change.AppliedTo(status); });
}

}  // namespace kestrune::evt
