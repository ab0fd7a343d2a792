// The machine a simulator presents: adapters, their disks and RAID sets, a
// timeline of scripted happenings and injected faults. Loaded from JSON
// (docs/scenario.md) or built directly in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrune::sim {

enum class ModeKind { Pio, SingleWordDma, MultiWordDma, UltraDma };

struct DiskSpec {
  std::uint8_t channel = 0;
  std::uint8_t device = 0;
  // ATAPI (packet) device: flags bit 0, type code in IDENTIFY word 0 bits 8-11.
  bool atapi = false;
  std::uint8_t atapiType = 5;  // 5 = CD-ROM
  bool changer = false;        // flags bit 1
  bool removable = false;      // IDENTIFY word 0 bit 7
  std::string model = "SIMULATED DISK";
  std::string serial = "SIM0000000000001";
  std::string firmware = "1.00";
  std::uint64_t sectors = 0;  // capacity in 512-byte sectors
  std::uint8_t ataMajor = 7;  // highest ATA/ATAPI major version supported, 2..14
  bool lba48 = true;          // 48-bit addressing (word 83 bit 10)
  int udmaMax = 6;            // highest Ultra DMA mode supported, -1 = none
  int mdmaMax = 2;            // highest multiword DMA mode supported, -1 = none
  int pioMax = 4;             // highest PIO mode supported, 0..4
  ModeKind currentKind = ModeKind::UltraDma;
  std::uint8_t currentMode = 5;
  std::uint32_t sectorsPerInterrupt = 16;
  bool smartSupported = true;
  bool smartEnabled = true;
  bool smartExceeded = false;  // SMART RETURN STATUS reports a threshold exceeded
  bool writeCacheSupported = true;
  bool writeCacheEnabled = true;
  bool lookAheadSupported = true;
  bool lookAheadEnabled = true;
  std::uint16_t valueC = 0;   // driver's device value C (extended adapters)
  std::uint32_t problem = 0;  // device manager problem number of its disk device
};

enum class SetType : std::uint8_t { Striped = 1, Mirrored = 2, MirroredStriped = 3 };
enum class SetState : std::uint16_t { Online = 1, Available = 2, Sync = 4 };
enum class MemberState : std::uint16_t { Current = 1, Rebuild = 2, Dropped = 3, Removed = 4 };

struct MemberSpec {
  std::uint8_t deviceIndex = 0;
  std::uint8_t position = 0;
  MemberState state = MemberState::Current;
  std::uint8_t rebuildPercent = 0;
};

struct SetSpec {
  SetType type = SetType::Mirrored;
  SetState state = SetState::Online;
  std::uint32_t stripeSectors = 128;
  bool spareEnabled = false;
  std::uint8_t rebuildRate = 50;
  std::optional<std::uint8_t> location;  // default: device index of the first member
  std::string name = "BV RAID SET";      // model text of the disk the set presents
  std::string metaVersion = "2.0";       // firmware text of that disk
  std::vector<MemberSpec> members;
};

// Channel data of extended adapters (QueryChannelInfo) and the base addresses
// of the others (QueryAdapterInfo channel entries).
struct ChannelSpec {
  std::uint32_t valueA = 0;
  std::uint16_t valueB = 0;
  std::uint16_t linkGeneration = 1;
  bool portMultiplier = false;
  std::uint16_t pmVendor = 0;
  std::uint16_t pmDevice = 0;
  std::uint16_t pmPorts = 0;
  std::uint8_t pmSpecVersion = 0;
  std::uint8_t pmRevision = 0;
  std::uint32_t ideBase = 0;
  std::uint32_t altBase = 0;
  std::uint32_t dmaBase = 0;
};

struct DriverFileSpec {
  std::string fileVersion = "1.0.0.0";
  std::string modified = "2006-03-14T09:26:53Z";  // ISO 8601, UTC
};

struct AdapterSpec {
  std::uint16_t driverMajor = 2;
  std::uint16_t driverMinor = 1;
  std::uint32_t chipId = 0x7210;
  std::uint32_t chipRevision = 2;
  std::uint32_t chipType = 2;  // 1 = Standard, anything else = RAID
  std::uint32_t driverStatus = 0;
  std::uint32_t pciIrq = 11;
  std::uint32_t pciBus = 2;
  std::uint32_t pciDevice = 4;
  std::uint32_t pciFunction = 0;
  std::uint32_t adapterId = 0;
  std::string name;  // extended adapters; also their driver file and service name
  // Extended adapters report these counts (they may exceed what the program holds);
  // the others always have 2 channels of 2 devices.
  std::uint16_t channels = 4;
  std::uint16_t devicesPerChannel = 1;
  std::vector<ChannelSpec> channelInfo;  // per channel; missing entries are defaults
  std::vector<DiskSpec> disks;
  std::vector<SetSpec> sets;
  std::vector<std::uint8_t> spares;  // device indexes of hot spares
  std::uint16_t rioMajor = 2;
  std::uint16_t rioMinor = 0;
  bool arrayConflicts = false;
  std::string service;  // device manager service; empty = derived from chip and name
  std::optional<DriverFileSpec> driverFile;  // nullopt = no driver file on disk
  std::uint32_t rebuildSeconds = 20;         // a full rebuild at rate 100 takes this long
};

// Timeline actions. Each names its adapter by its position in the scenario.
struct DropMember {  // a member disk fails; a spare takes over when allowed
  std::uint8_t set = 0;
  std::uint8_t position = 0;
  std::uint8_t reason = 1;      // 1 port error, 2 SCSI error
  std::uint8_t srbStatus = 8;   // "Device Did Not Respond"
};
struct RemoveDisk {  // hot unplug
  std::uint8_t channel = 0;
  std::uint8_t device = 0;
};
struct InsertDisk {  // hot plug
  DiskSpec disk;
};
struct MemberError {  // port, SCSI or bad-block error on a member
  std::uint8_t set = 0;
  std::uint8_t position = 0;
  std::uint8_t kind = 1;  // 1 port, 2 SCSI, 4 bad-block
  std::uint8_t srbStatus = 4;
  std::uint8_t senseKey = 3;
  std::uint8_t asc = 0x11;
  std::uint8_t ascq = 0;
  std::uint32_t information = 0;
  std::vector<std::uint8_t> cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 8, 0};
  std::uint32_t bbrType = 1;
  std::uint32_t block = 0;
  std::uint32_t virtualBlock = 0;
};
struct UdmaChange {
  std::uint8_t channel = 0;
  std::uint8_t device = 0;
  std::uint8_t newMode = 2;
};
struct RawEvent {  // any 88-byte record, for events the model cannot produce
  std::vector<std::uint8_t> record;
};
using TimelineAction =
    std::variant<DropMember, RemoveDisk, InsertDisk, MemberError, UdmaChange, RawEvent>;

struct TimelineStep {
  double atSeconds = 0;  // after the simulator starts
  std::size_t adapter = 0;
  TimelineAction action;
};

enum class FaultKind {
  CallFails,        // the device-control call returns failure with `value` as the system error
  Status,           // the driver answers DriverStatus `value`
  ReplyCount,       // the reply's count field says `value` (sets, spares, events)
  ReplyIndex,       // an index in the reply says `value` (device channel, member or spare index)
  NameWithoutNul,   // the extended adapter name fills its 128 bytes with no NUL
};

struct FaultSpec {
  std::size_t adapter = 0;
  std::string request;  // operation name, e.g. "QuerySets", "FetchEvents", "Open"
  FaultKind kind = FaultKind::CallFails;
  std::uint32_t value = 0;
  int times = -1;  // how often it strikes; -1 = every time
};

struct Scenario {
  std::string description;
  std::vector<AdapterSpec> adapters;  // in port order: adapter i answers "\\.\scsi<i>:"
  std::vector<TimelineStep> timeline;
  std::vector<FaultSpec> faults;
  // The simulated system folder; driver files live below it.
  std::string systemRoot = "/kestrune-sim/WINDOWS/";
};

struct ScenarioError {
  std::string message;  // names the file, the problem and, for JSON, the position
};

// Parses a scenario; `origin` names the text in error messages.
std::variant<Scenario, ScenarioError> ParseScenario(std::string_view json, std::string_view origin);
std::variant<Scenario, ScenarioError> LoadScenarioFile(const std::string& path);
// The scenario compiled into the programs.
Scenario DefaultScenario();
std::string_view EmbeddedDefaultScenario();

// Names of the operations as used by FaultSpec::request.
inline constexpr std::string_view kRequestNames[] = {
    "Open",           "QueryDriverVersion", "QueryAdapterInfo", "QueryChannelInfo",
    "QueryDeviceInfo", "FetchEvents",       "SetDeviceFeatures", "SetGpioInterface",
    "WriteGpioStatus", "QueryRioVersion",   "QuerySpareDrives", "QuerySets",
    "DeleteSet",       "AddMember",         "RemoveMember",     "EnableSpare",
    "SetRebuildRate",  "CreateSpare",       "DeleteSpare",      "IdentifySetDisk",
    "QuerySmartStatus", "ResetBus"};

}  // namespace kestrune::sim
