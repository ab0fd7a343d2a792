// The data of one RAID wizard run and the state machine over its pages: which
// page Next and Back lead to, which wizard buttons a page offers, and every
// step a page takes on the model's copies. No widgets here: the Qt wizard
// follows what this says, and tests walk it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/model.h"

namespace kestrune::wizard {

// The pages in the order they are added to the sheet; the value is the page's
// id in the sheet.
enum class WizardPage : int {
  kWelcome = 0,
  kController,
  kAction,
  kDelete,
  kSetType,
  kSpareDisks,
  kSpareSummary,
  kFinish,
};
inline constexpr int kPageCount = 8;

// The two radio buttons of the action page.
inline constexpr unsigned kActionDelete = 1150;
inline constexpr unsigned kActionCreate = 1151;

// What the lists hold at most: one adapter's device slots, its spare drives,
// the disks chosen to become spare drives.
inline constexpr std::size_t kMaxCandidateDisks = ctl::kMaxChannels * ctl::kMaxDevicesPerChannel;
inline constexpr std::size_t kMaxExistingSpares = 4;
inline constexpr std::size_t kMaxSpareChoice = 4;

// One candidate disk, copied from the model at the candidate rebuild.
struct DiskEntry {
  int channel = 0;
  int device = 0;
  int devicesPerChannel = 0;
  ctl::DeviceRecord disk;

  int DeviceIndex() const { return channel * devicesPerChannel + device; }
};

struct WizardButtons {
  bool back = false;
  bool next = false;
  bool finish = false;
  bool operator==(const WizardButtons&) const = default;
};

// What tells an adapter apart from another one found at the same list
// position after the list was emptied and discovered again.
struct AdapterIdentity {
  std::wstring chipModel;
  std::wstring pciBus;
  std::wstring pciDevice;
  std::wstring adapterName;

  static AdapterIdentity Of(const ctl::AdapterRecord& adapter);
  bool Matches(const ctl::AdapterRecord& adapter) const;
  bool operator==(const AdapterIdentity&) const = default;
};

// One row of a three-column list: location (or type), model, capacity.
struct ListRow {
  std::wstring first;
  std::wstring model;
  std::wstring capacity;
  bool operator==(const ListRow&) const = default;
};

// One row of the deletion page's entry list, with what its click and Finish
// need, copied from the model when the page was activated.
struct DeletionEntry {
  enum class Kind { kSet, kSpare };
  Kind kind = Kind::kSet;
  ListRow row;                   // "Raid Type", "Disk Model", "Capacity"
  std::vector<ListRow> members;  // the member list shown for the row
  bool striped = false;          // a set whose type reads "Striped Set"
  std::uint8_t setIndex = 0;     // sets
  std::wstring setLocation;      // sets: the location text of the disk it presents
  std::uint8_t deviceIndex = 0;  // spare drives
};

// What Finish on the deletion page sends, in order.
struct DeletionPlan {
  bool spare = false;
  std::uint32_t adapterNumber = 0;
  AdapterIdentity adapter;  // the adapter the entry was read from
  // Spare drive: DeleteSpare(deviceIndex), then the adapter re-enumerated.
  std::uint8_t deviceIndex = 0;
  // Set: the system's disk at (removeChannel, removeDevice) removed, then
  // DeleteSet(setIndex).
  std::uint32_t removeChannel = 0;
  std::uint32_t removeDevice = 0;
  std::uint8_t setIndex = 0;
};

// An adapter the wizard can work on: chip models other than the two two-port
// ones ("bv-7210", "bv-7250", the first 7 characters, any letter case).
bool IsSupportedAdapter(const ctl::AdapterRecord& adapter);

// "Channel 2" with extended naming, else "Primary"/"Secondary" followed with
// no blank by "Master"/"Slave" (channel 1, device 1: "SecondarySlave").
std::wstring LocationText(const DiskEntry& entry, bool extendedNaming);

// The member list's location of a set member with device index `index`.
std::wstring MemberLocationText(unsigned index, unsigned devicesPerChannel, bool extendedNaming);

// The drive position a set's location text stands for: "Primary Master" 0 ..
// "Secondary Slave" 3 (any letter case); any other text the digit 8 places
// from its end ("Channel 1 Device" gives 1), 0 when there is none.
unsigned DrivePosition(const std::wstring& locationText);

// Rows of a disk list: location, model number, capacity.
std::vector<ListRow> DiskRows(const std::vector<DiskEntry>& disks, bool extendedNaming);

// Rows of the controller list: chip model, PCI bus number, PCI device number.
std::vector<ListRow> ControllerRows(const ctl::ConfigurationModel& model);

// Every function that takes the model expects the caller to hold its lock.
class WizardState {
 public:
  // The initial values: the first supported adapter selected, -1 for none.
  explicit WizardState(const ctl::ConfigurationModel& model);

  int selectedAdapter = -1;
  unsigned actionChoice = kActionCreate;
  std::vector<DiskEntry> freeDisks;
  std::vector<DiskEntry> availableDisks;
  std::vector<DiskEntry> existingSpares;
  std::vector<DiskEntry> spareChoice;
  // The model's extended naming flag, as last read.
  bool extendedNaming = false;

  // ---- navigation -------------------------------------------------------
  // Where Next and Back lead from a page; nothing where the page has no such
  // button. Next from the welcome page skips the controller page when one
  // adapter is listed and selected (see WelcomeNext).
  std::optional<WizardPage> NextOf(WizardPage page) const;
  std::optional<WizardPage> BackOf(WizardPage page) const;
  // The wizard buttons a page offers now (Cancel always).
  WizardButtons ButtonsOf(WizardPage page) const;

  // Notes how many adapters the model lists; Next and Back decide by it.
  void NoteModel(const ctl::ConfigurationModel& model);
  std::size_t ListedAdapters() const { return listedAdapters_; }

  // ---- welcome page -----------------------------------------------------
  // Next: notes the model; when the controller page is skipped, its
  // activation steps run here. The target is NextOf(kWelcome) afterwards.
  void WelcomeNext(const ctl::ConfigurationModel& model);

  // ---- controller page --------------------------------------------------
  // Activation: remember the selection, rebuild the candidates for it.
  void ActivateController(const ctl::ConfigurationModel& model);
  // A click in the list: the row selected afterwards, -1 for none. True when
  // the adapter clicked is not supported (the page then tells the user).
  bool ClickController(const ctl::ConfigurationModel& model, int row);
  // Back: the selection remembered at activation comes back.
  void BackFromController();
  int RememberedAdapter() const { return rememberedAdapter_; }

  // ---- action page ------------------------------------------------------
  void ActionNext(unsigned checkedRadio);

  // ---- candidate rebuild ------------------------------------------------
  void RebuildCandidates(const ctl::ConfigurationModel& model);
  // The adapter the candidates were taken from.
  const std::optional<AdapterIdentity>& CandidateAdapter() const { return candidateAdapter_; }

  // ---- spare disk page and the disk chooser -----------------------------
  // Activation; the first one of a run empties the choice.
  void ActivateSpareDisks();
  // Select: may a disk be chosen now (the choice holds at most four)?
  bool CanSelect() const { return spareChoice.size() < kMaxSpareChoice; }
  // Moves the disk at `row` of one list into the other at its ordered place;
  // false (nothing moves) for a row outside the list or a full choice.
  bool Select(std::size_t availableRow);
  bool Deselect(std::size_t chosenRow);
  void BackFromSpareDisks();

  // ---- deletion page ----------------------------------------------------
  // Activation: the entry rows (sets, then spare drives) copied from the
  // model; no row clicked, the warning hidden.
  void ActivateDeletion(const ctl::ConfigurationModel& model);
  const std::vector<DeletionEntry>& DeletionEntries() const { return deletionEntries_; }
  // A click leaving `row` selected (-1: none, which changes nothing).
  void ClickDeletion(int row);
  int DeletionRow() const { return deletionRow_; }
  bool DeletionWarning() const { return deletionWarning_; }
  // What Finish sends for the row clicked; nothing without one.
  std::optional<DeletionPlan> PlanDeletion() const;
  // Whether the row clicked still stands for the same set or spare drive of
  // the same adapter in `model` (which may have been read again since).
  bool DeletionStillValid(const ctl::ConfigurationModel& model) const;

 private:
  const ctl::AdapterRecord* Selected(const ctl::ConfigurationModel& model) const;

  std::size_t listedAdapters_ = 0;
  // Whether the welcome page's Next went through the controller page.
  bool viaController_ = false;
  int rememberedAdapter_ = -1;
  // The selected adapter is one the wizard can work on; as remembered too.
  bool adapterChosen_ = false;
  bool rememberedChosen_ = false;
  bool spareDisksShown_ = false;
  std::optional<AdapterIdentity> candidateAdapter_;
  std::uint16_t candidateDevicesPerChannel_ = 0;
  std::vector<DeletionEntry> deletionEntries_;
  std::optional<AdapterIdentity> deletionAdapter_;
  std::uint32_t deletionAdapterNumber_ = 0;
  unsigned deletionDevicesPerChannel_ = 0;
  int deletionRow_ = -1;
  bool deletionWarning_ = false;
};

}  // namespace kestrune::wizard
