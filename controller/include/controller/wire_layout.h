// The payload of every request and reply by field name, request by request,
// and the layout of the driver's event record. A
// reply's size (kReplySize) is where the last field the program reads ends: a
// reply shorter than that fails its request rather than decoding what the
// driver did not return.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controller/wire.h"

namespace kestrune::ctl::wire {

// The buffer of a family holds the header and the longest payload it carries.
static_assert(kIdeBufferSize == kHeaderSize + length::kDeviceInfo);
static_assert(kRioBufferSize >= kHeaderSize + length::kQuerySets);
static_assert(kSmartBufferSize == kHeaderSize + length::kSmartStatus);
static_assert(kSmartIdentifyOutSize >= kHeaderSize + length::kSmartIdentify);

// QueryDriverVersion: 0x00FF in both fields; the reply overwrites them.
namespace driver_version {
inline constexpr U16 kMajor{0};
inline constexpr U16 kMinor{2};
inline constexpr std::size_t kReplySize = kMinor.End();
static_assert(kReplySize == length::kDriverVersion);
}  // namespace driver_version

// QueryAdapterInfo: the request carries nothing.
namespace adapter_info {
inline constexpr U32 kChipId{0};
inline constexpr U32 kChipRevision{4};
inline constexpr U32 kChipType{8};  // 1 = standard, anything else RAID
inline constexpr U32 kDriverStatus{12};
inline constexpr U32 kPciInterrupt{16};
inline constexpr U32 kPciBus{20};
inline constexpr U32 kPciDevice{24};
inline constexpr U32 kAdapterId{28};

// Adapters that are not extended: channel entries of 16 bytes from offset 32.
// Two lie within the Length; entries 3 and 4 are read when the driver returned
// them, but describe no channel.
inline constexpr std::size_t kChannelEntries = 32;
inline constexpr std::size_t kChannelEntrySize = 16;
inline constexpr std::size_t kChannelsInLength = 2;
constexpr Block ChannelEntry(std::size_t channel) {
  return {kChannelEntries + kChannelEntrySize * channel, kChannelEntrySize};
}
namespace channel_entry {
inline constexpr U32 kPresence{0};  // bit 0 master, bit 1 slave
inline constexpr U32 kIdeBase{4};
inline constexpr U32 kAltBase{8};
inline constexpr U32 kDmaBase{12};
static_assert(kDmaBase.End() == kChannelEntrySize);
}  // namespace channel_entry
inline constexpr std::size_t kReplySize = ChannelEntry(kChannelsInLength - 1).End();
static_assert(kReplySize == length::kAdapterInfo);

// Extended adapters.
inline constexpr U16 kChannelCount{32};
inline constexpr U16 kDevicesPerChannel{34};
inline constexpr Block kName{36, 128};  // 8-bit text, NUL-terminated unless it fills the block
inline constexpr std::size_t kExtendedReplySize = kName.End();
static_assert(kExtendedReplySize == length::kAdapterInfoExtended);
}  // namespace adapter_info

// QueryChannelInfo (extended adapters), one channel a request.
namespace channel_info {
inline constexpr U16 kChannel{0};  // request
inline constexpr U16 kCount{2};    // request: 1
inline constexpr U32 kValueA{4};
inline constexpr U32 kFlags{8};  // bit 0: a port multiplier is attached
inline constexpr U16 kValueB{12};
inline constexpr U16 kLinkGeneration{14};
inline constexpr U16 kPmVendor{16};
inline constexpr U16 kPmDevice{18};
inline constexpr U16 kPmPorts{20};
inline constexpr U8 kPmSpecVersion{22};
inline constexpr U8 kPmRevision{23};
inline constexpr std::size_t kReplySize = kPmRevision.End();
static_assert(kReplySize == length::kChannelInfo);
}  // namespace channel_info

inline constexpr std::size_t kIdentifySize = 512;

// QueryDeviceInfo, adapters that are not extended: one request for the four
// device slots (slot = channel x 2 + device).
namespace device_info {
inline constexpr U16 kFirstSlot{0};  // request: 0
inline constexpr U16 kSlotCount{2};  // request: 4
inline constexpr std::size_t kSlots = 4;
inline constexpr std::size_t kBlocks = 4;
inline constexpr std::size_t kBlockSize = 530;
constexpr Block DeviceBlock(std::size_t slot) {
  return {kBlocks + kBlockSize * slot, kBlockSize};
}
namespace device_block {
inline constexpr U32 kFlags{0};
inline constexpr U32 kSectorsPerInterrupt{8};
inline constexpr U8 kModeNumber{16};
inline constexpr Block kIdentify{18, kIdentifySize};
static_assert(kIdentify.End() == kBlockSize);
}  // namespace device_block
inline constexpr std::size_t kReplySize = DeviceBlock(kSlots - 1).End();
static_assert(kReplySize == length::kDeviceInfo);
}  // namespace device_info

// QueryDeviceInfo, extended adapters: one request a slot.
namespace device_info_extended {
inline constexpr U16 kSlot{0};   // request
inline constexpr U16 kCount{2};  // request: 1
inline constexpr U32 kFlags{4};
inline constexpr U32 kSectorsPerInterrupt{12};
inline constexpr U16 kValueC{18};
inline constexpr U8 kChannel{20};
inline constexpr U8 kDevice{21};
inline constexpr U8 kModeNumber{22};
inline constexpr U8 kPresence{23};  // 0: no device
inline constexpr Block kIdentify{24, kIdentifySize};
inline constexpr std::size_t kReplySize = kIdentify.End();
static_assert(kReplySize == length::kDeviceInfoExtended);
}  // namespace device_info_extended

// FetchEvents: the request sets the count to 0xFFFFFFFF; the reply counts the
// records that follow it.
namespace fetch_events {
inline constexpr U32 kCount{0};
inline constexpr std::size_t kRecords = 4;
inline constexpr std::size_t kRecordSize = 88;
inline constexpr std::size_t kMaxRecords = 20;
constexpr Block Record(std::size_t index) {
  return {kRecords + kRecordSize * index, kRecordSize};
}
// The count must come back; records are read as far as they came back whole.
inline constexpr std::size_t kReplySize = kCount.End();
static_assert(Record(kMaxRecords - 1).End() == length::kFetchEvents);
static_assert(length::kFetchEvents == 4 + 20 * 88);
}  // namespace fetch_events

// SetDeviceFeatures.
namespace device_features {
inline constexpr U8 kChannel{0};
inline constexpr U8 kDevice{1};
inline constexpr U8 kFlags{2};  // bit 0 look-ahead stays on, bit 1 write cache on
static_assert(kFlags.End() == length::kSetDeviceFeatures);
}  // namespace device_features

// SetGpioInterface.
namespace gpio_interface {
inline constexpr U8 kFirst{0};
inline constexpr U8 kSecond{1};
static_assert(kSecond.End() == length::kSetGpioInterface);
}  // namespace gpio_interface

// WriteGpioStatus (also the read that leaves the status alone).
namespace gpio_status {
inline constexpr U8 kWrite{0};  // 1 write, 0 read
inline constexpr U8 kStatus{1};
static_assert(kStatus.End() < length::kWriteGpioStatus);
}  // namespace gpio_status

// QueryRioVersion: 0x00FF in both revision fields.
namespace rio_version {
inline constexpr U16 kMajor{0};
inline constexpr U16 kMinor{2};
inline constexpr U8 kFlags{4};  // bit 0: array conflicts present
inline constexpr std::size_t kReplySize = kFlags.End();
static_assert(kReplySize <= length::kRioVersion);
}  // namespace rio_version

// QuerySpareDrives: the request offers room for four entries.
namespace spare_drives {
inline constexpr U16 kRoom{0};   // request
inline constexpr U16 kCount{0};  // reply
inline constexpr std::size_t kEntries = 2;
inline constexpr std::size_t kMaxEntries = 4;
constexpr U8 EntryAt(std::size_t index) {
  return U8{kEntries + index};
}
// The count must come back, then one byte for each spare drive it counts.
constexpr std::size_t ReplySize(std::size_t count) {
  return kEntries + count;
}
static_assert(ReplySize(kMaxEntries) == length::kSpareDrives);
}  // namespace spare_drives

// QuerySets: the request offers room for two sets.
namespace query_sets {
inline constexpr U16 kFirst{0};  // request: 0
inline constexpr U16 kRoom{2};   // request: 2
inline constexpr U16 kCount{2};  // reply
inline constexpr std::size_t kDescriptors = 4;
inline constexpr std::size_t kMaxSets = 2;
inline constexpr std::size_t kDescriptorSize = 44;
constexpr Block Descriptor(std::size_t set) {
  return {kDescriptors + kDescriptorSize * set, kDescriptorSize};
}
namespace descriptor {
inline constexpr U32 kStripeSectors{0};
inline constexpr U16 kState{4};
inline constexpr U8 kSpareEnabled{6};  // bit 0
inline constexpr U8 kType{8};
inline constexpr U8 kMemberCount{9};
inline constexpr U8 kLocation{10};
inline constexpr std::size_t kMembers = 12;
inline constexpr std::size_t kMaxMembers = 4;
inline constexpr std::size_t kMemberSize = 8;
constexpr Block Member(std::size_t member) {
  return {kMembers + kMemberSize * member, kMemberSize};
}
static_assert(Member(kMaxMembers - 1).End() == kDescriptorSize);
}  // namespace descriptor
namespace member {
inline constexpr U16 kState{0};
inline constexpr U8 kPosition{2};
inline constexpr U8 kDeviceIndex{3};
inline constexpr U8 kRebuildPercent{4};
inline constexpr U8 kRebuildRate{5};  // of the set, read from member 0
static_assert(kRebuildRate.End() <= descriptor::kMemberSize);
}  // namespace member
// The count must come back, then a whole descriptor for each set it counts.
constexpr std::size_t ReplySize(std::size_t count) {
  return count == 0 ? kCount.End() : Descriptor(count - 1).End();
}
static_assert(ReplySize(kMaxSets) == length::kQuerySets);
}  // namespace query_sets

// SMART requests: SENDCMDINPARAMS in, SENDCMDOUTPARAMS back.
namespace smart {
inline constexpr U32 kBufferSize{0};
inline constexpr U8 kFeatures{4};
inline constexpr U8 kSectorCount{5};
inline constexpr U8 kSectorNumber{6};
inline constexpr U8 kCylinderLow{7};
inline constexpr U8 kCylinderHigh{8};
inline constexpr U8 kDriveHead{9};
inline constexpr U8 kCommand{10};
inline constexpr U8 kReserved{11};
inline constexpr U8 kDriveNumber{12};
// Reply.
inline constexpr U8 kDriverError{4};
inline constexpr U8 kIdeError{5};
inline constexpr Block kIdentify{16, kIdentifySize};  // words byte-swapped
inline constexpr U8 kStatusCylinderLow{19};           // 0x4F with 0xC2: "OK"
inline constexpr U8 kStatusCylinderHigh{20};
inline constexpr std::size_t kIdentifyReplySize = kIdentify.End();
inline constexpr std::size_t kStatusReplySize = kStatusCylinderHigh.End();
static_assert(kIdentifyReplySize <= length::kSmartIdentify);
static_assert(kStatusReplySize <= length::kSmartStatus);
}  // namespace smart

// The driver's event record, by record offset.
namespace event_record {
inline constexpr U32 kClassData1{0};  // the event class GUID: u32, u16, u16, 8 bytes
inline constexpr U16 kClassData2{4};
inline constexpr U16 kClassData3{6};
inline constexpr Block kClassData4{8, 8};
inline constexpr U64 kTimeStamp{24};  // FILETIME, UTC
inline constexpr U32 kSeverity{40};
inline constexpr Block kClassData{44, 44};
// The bytes after a record in the reply: the next record's first bytes or the fill.
inline constexpr Block kFollowing{fetch_events::kRecordSize, 4};
static_assert(kClassData.End() == fetch_events::kRecordSize);

// Class data of each event class, by record offset.
namespace ultra_dma {
inline constexpr U8 kChannel{44};
inline constexpr U8 kDevice{45};
inline constexpr U8 kOldMode{46};
inline constexpr U8 kNewMode{47};
}  // namespace ultra_dma
// Device changed, new device and device removed.
namespace device {
inline constexpr U8 kChannel{44};
inline constexpr U8 kDevice{45};
inline constexpr Block kModel{46, 40};
}  // namespace device
namespace member_dropped {
inline constexpr U8 kSet{44};
inline constexpr U8 kMember{45};
inline constexpr U8 kReason{46};
inline constexpr U8 kSrbStatus{47};
inline constexpr U8 kDeviceIndex{48};
}  // namespace member_dropped
namespace member_added {
inline constexpr U8 kSet{44};
inline constexpr U8 kDeviceIndex{45};
}  // namespace member_added
namespace member_removed {
inline constexpr U8 kSet{44};
inline constexpr U8 kMember{45};
inline constexpr U8 kDeviceIndex{46};
}  // namespace member_removed
namespace bus_reset {
inline constexpr U8 kBus{44};
}  // namespace bus_reset
namespace rebuild {
inline constexpr U8 kSet{44};
inline constexpr U8 kMember{45};
inline constexpr U8 kStatus{46};  // 1 complete, 5 started
inline constexpr U8 kDeviceIndex{47};
}  // namespace rebuild
namespace member_error {
inline constexpr U8 kSet{44};
inline constexpr U8 kMember{45};
inline constexpr U8 kDeviceIndex{46};
inline constexpr U8 kKind{47};  // 1 port, 2 SCSI, 4 bad block
// Port errors.
inline constexpr U8 kPortSrbStatus{49};
inline constexpr std::size_t kPortCdb = 50;
// SCSI errors.
inline constexpr U8 kSenseKey{48};
inline constexpr U8 kInformation0{49};
inline constexpr U8 kInformation1{50};
inline constexpr U8 kInformation2{51};
inline constexpr U8 kInformation3{52};
inline constexpr U8 kAsc{53};
inline constexpr U8 kAscq{54};
inline constexpr std::size_t kScsiCdb = 55;
// Bad blocks.
inline constexpr U32 kBbrType{48};
inline constexpr U32 kBlock{52};
inline constexpr U32 kVirtualBlock{56};
}  // namespace member_error
namespace spare_drive {
inline constexpr U8 kCode{44};  // 1 created, 2 deleted, 3 added to a set, 4 too small
inline constexpr U8 kDeviceIndex{45};
inline constexpr U8 kSet{46};
inline constexpr U8 kMember{47};
}  // namespace spare_drive
// RAID set created and deleted.
namespace set_event {
inline constexpr U8 kRaidType{45};
}  // namespace set_event
}  // namespace event_record

}  // namespace kestrune::ctl::wire
