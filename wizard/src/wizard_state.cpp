#include "wizard/wizard_state.h"

#include <algorithm>

#include "platform/text.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

namespace kestrune::wizard {

namespace {

// Inserts `entry` in front of the first entry with a larger device index.
void InsertOrdered(std::vector<DiskEntry>& list, DiskEntry entry) {
  const auto at = std::find_if(list.begin(), list.end(), [&](const DiskEntry& other) {
    return other.DeviceIndex() > entry.DeviceIndex();
  });
  list.insert(at, std::move(entry));
}

// The device record at (channel, device) within the model's arrays; nullptr
// outside them.
const ctl::DeviceRecord* DeviceAt(const ctl::AdapterRecord& adapter, unsigned channel,
                                  unsigned device) {
  if (channel >= ctl::kMaxChannels || device >= ctl::kMaxDevicesPerChannel) return nullptr;
  return &adapter.channels[channel].devices[device];
}

std::size_t SetCountOf(const ctl::AdapterRecord& adapter) {
  return std::min<std::size_t>(adapter.setCount, ctl::kMaxSets);
}

std::size_t MemberCountOf(const ctl::SetRecord& set) {
  return std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
}

}  // namespace

AdapterIdentity AdapterIdentity::Of(const ctl::AdapterRecord& adapter) {
  return {adapter.chipModel, adapter.pciBus, adapter.pciDevice, adapter.adapterName};
}

bool AdapterIdentity::Matches(const ctl::AdapterRecord& adapter) const {
  return *this == Of(adapter);
}

bool IsSupportedAdapter(const ctl::AdapterRecord& adapter) {
  const std::wstring head = adapter.chipModel.substr(0, 7);
  return !platform::EqualsNoCase(head, L"bv-7210") && !platform::EqualsNoCase(head, L"bv-7250");
}

std::wstring LocationText(const DiskEntry& entry, bool extendedNaming) {
  if (extendedNaming) return res::FormatString(res::kStrChannelNumber, entry.channel);
  return res::LoadString(entry.channel == 0 ? res::kStrPrimary : res::kStrSecondary) +
         res::LoadString(entry.device == 0 ? res::kStrMaster : res::kStrSlave);
}

std::wstring MemberLocationText(unsigned index, unsigned devicesPerChannel, bool extendedNaming) {
  if (extendedNaming) {
    const unsigned channel = devicesPerChannel == 0 ? index : index / devicesPerChannel;
    return res::FormatString(res::kStrChannelNumber, static_cast<int>(channel));
  }
  return res::LoadString(index > 1 ? res::kStrSecondary : res::kStrPrimary) +
         res::LoadString(index % 2 == 1 ? res::kStrSlave : res::kStrMaster);
}

unsigned DrivePosition(const std::wstring& locationText) {
  static const wchar_t* const kNamed[] = {L"Primary Master", L"Primary Slave", L"Secondary Master",
                                          L"Secondary Slave"};
  for (unsigned position = 0; position < 4; ++position) {
    if (platform::EqualsNoCase(locationText, kNamed[position])) return position;
  }
  if (locationText.size() < 8) return 0;
  const wchar_t digit = locationText[locationText.size() - 8];
  return digit >= L'0' && digit <= L'9' ? static_cast<unsigned>(digit - L'0') : 0;
}

std::vector<ListRow> DiskRows(const std::vector<DiskEntry>& disks, bool extendedNaming) {
  std::vector<ListRow> rows;
  rows.reserve(disks.size());
  for (const DiskEntry& entry : disks)
    rows.push_back(
        {LocationText(entry, extendedNaming), entry.disk.modelNumber, entry.disk.capacity});
  return rows;
}

std::vector<ListRow> ControllerRows(const ctl::ConfigurationModel& model) {
  std::vector<ListRow> rows;
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    // A row per list position, so that a row is its adapter's number.
    const ctl::AdapterRecord* adapter = model.Adapter(n);
    rows.push_back(adapter ? ListRow{adapter->chipModel, adapter->pciBus, adapter->pciDevice}
                           : ListRow{});
  }
  return rows;
}

// ---- WizardState ------------------------------------------------------------

WizardState::WizardState(const ctl::ConfigurationModel& model) {
  NoteModel(model);
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    const ctl::AdapterRecord* adapter = model.Adapter(n);
    if (adapter && IsSupportedAdapter(*adapter)) {
      selectedAdapter = static_cast<int>(n);
      adapterChosen_ = true;
      break;
    }
  }
}

void WizardState::NoteModel(const ctl::ConfigurationModel& model) {
  listedAdapters_ = model.AdapterCount();
  extendedNaming = model.extendedNaming;
}

const ctl::AdapterRecord* WizardState::Selected(const ctl::ConfigurationModel& model) const {
  if (selectedAdapter < 0) return nullptr;
  return model.Adapter(static_cast<std::size_t>(selectedAdapter));
}

std::optional<WizardPage> WizardState::NextOf(WizardPage page) const {
  switch (page) {
    case WizardPage::kWelcome:
      // Without a chosen adapter the controller page is the way on: the pages
      // behind the action page all work on one.
      return listedAdapters_ > 1 || selectedAdapter < 0 ? WizardPage::kController
                                                        : WizardPage::kAction;
    case WizardPage::kController:
      return WizardPage::kAction;
    case WizardPage::kAction:
      return actionChoice == kActionDelete ? WizardPage::kDelete : WizardPage::kSetType;
    case WizardPage::kSetType:
      return WizardPage::kSpareDisks;
    case WizardPage::kSpareDisks:
      return WizardPage::kSpareSummary;
    case WizardPage::kSpareSummary:
      return WizardPage::kFinish;
    case WizardPage::kDelete:
    case WizardPage::kFinish:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<WizardPage> WizardState::BackOf(WizardPage page) const {
  switch (page) {
    case WizardPage::kWelcome:
    case WizardPage::kFinish:
      return std::nullopt;
    case WizardPage::kController:
      return WizardPage::kWelcome;
    case WizardPage::kAction:
      return viaController_ ? WizardPage::kController : WizardPage::kWelcome;
    case WizardPage::kDelete:
    case WizardPage::kSetType:
      return WizardPage::kAction;
    case WizardPage::kSpareDisks:
      return WizardPage::kSetType;
    case WizardPage::kSpareSummary:
      return WizardPage::kSpareDisks;
  }
  return std::nullopt;
}

WizardButtons WizardState::ButtonsOf(WizardPage page) const {
  switch (page) {
    case WizardPage::kWelcome:
      return {false, true, false};
    case WizardPage::kController:
      return {true, adapterChosen_, false};
    case WizardPage::kAction:
      return {true, adapterChosen_, false};
    case WizardPage::kSetType:
    case WizardPage::kSpareDisks:
    case WizardPage::kSpareSummary:
      return {true, true, false};
    case WizardPage::kDelete:
      return {true, false, deletionRow_ >= 0};
    case WizardPage::kFinish:
      return {false, false, true};
  }
  return {};
}

void WizardState::WelcomeNext(const ctl::ConfigurationModel& model) {
  NoteModel(model);
  viaController_ = NextOf(WizardPage::kWelcome) == WizardPage::kController;
  // The controller page is passed through: its activation steps run all the same.
  if (!viaController_) ActivateController(model);
}

void WizardState::ActivateController(const ctl::ConfigurationModel& model) {
  NoteModel(model);
  if (selectedAdapter >= 0 && Selected(model) == nullptr) selectedAdapter = -1;
  rememberedAdapter_ = selectedAdapter;
  const ctl::AdapterRecord* adapter = Selected(model);
  adapterChosen_ = adapter != nullptr && IsSupportedAdapter(*adapter);
  rememberedChosen_ = adapterChosen_;
  if (adapter != nullptr) RebuildCandidates(model);
}

bool WizardState::ClickController(const ctl::ConfigurationModel& model, int row) {
  selectedAdapter = row < 0 ? -1 : row;
  const ctl::AdapterRecord* adapter = Selected(model);
  if (adapter == nullptr) {
    selectedAdapter = -1;
    adapterChosen_ = false;
    return false;
  }
  const bool supported = IsSupportedAdapter(*adapter);
  adapterChosen_ = supported;
  RebuildCandidates(model);
  return !supported;
}

void WizardState::BackFromController() {
  selectedAdapter = rememberedAdapter_;
  adapterChosen_ = rememberedChosen_;
}

void WizardState::ActionNext(unsigned checkedRadio) {
  actionChoice = checkedRadio == kActionDelete ? kActionDelete : kActionCreate;
}

void WizardState::RebuildCandidates(const ctl::ConfigurationModel& model) {
  freeDisks.clear();
  existingSpares.clear();
  availableDisks.clear();
  spareChoice.clear();
  candidateAdapter_.reset();
  extendedNaming = model.extendedNaming;
  const ctl::AdapterRecord* adapter = Selected(model);
  if (adapter == nullptr) return;
  candidateAdapter_ = AdapterIdentity::Of(*adapter);
  // The driver may report more than the model holds; the model's limits bound
  // the walk, the reported count still makes the device index.
  const unsigned channels = std::min<unsigned>(adapter->channelCount, ctl::kMaxChannels);
  const unsigned devices =
      std::min<unsigned>(adapter->devicesPerChannel, ctl::kMaxDevicesPerChannel);
  for (unsigned c = 0; c < channels; ++c) {
    for (unsigned d = 0; d < devices; ++d) {
      const ctl::DeviceRecord& record = adapter->channels[c].devices[d];
      if (record.present == 0) continue;
      DiskEntry entry{static_cast<int>(c), static_cast<int>(d), adapter->devicesPerChannel, record};
      if (record.spare != 0) {
        // More spare drives than the list holds: the rest are not offered.
        if (existingSpares.size() < kMaxExistingSpares) existingSpares.push_back(std::move(entry));
        continue;
      }
      const int index = entry.DeviceIndex();
      bool taken = false;
      for (std::size_t s = 0; s < SetCountOf(*adapter) && !taken; ++s) {
        const ctl::SetRecord& set = adapter->sets[s];
        for (std::size_t m = 0; m < MemberCountOf(set) && !taken; ++m)
          taken = set.members[m].deviceIndex == index;
      }
      if (!taken && freeDisks.size() < kMaxCandidateDisks) freeDisks.push_back(std::move(entry));
    }
  }
  availableDisks = freeDisks;
}

void WizardState::ActivateSpareDisks() {
  if (spareDisksShown_) return;
  spareDisksShown_ = true;
  spareChoice.clear();
}

bool WizardState::Select(std::size_t availableRow) {
  if (availableRow >= availableDisks.size() || !CanSelect()) return false;
  DiskEntry entry = std::move(availableDisks[availableRow]);
  availableDisks.erase(availableDisks.begin() + static_cast<std::ptrdiff_t>(availableRow));
  InsertOrdered(spareChoice, std::move(entry));
  return true;
}

bool WizardState::Deselect(std::size_t chosenRow) {
  if (chosenRow >= spareChoice.size()) return false;
  DiskEntry entry = std::move(spareChoice[chosenRow]);
  spareChoice.erase(spareChoice.begin() + static_cast<std::ptrdiff_t>(chosenRow));
  InsertOrdered(availableDisks, std::move(entry));
  return true;
}

void WizardState::BackFromSpareDisks() {
  spareChoice.clear();
  availableDisks = freeDisks;
}

void WizardState::ActivateDeletion(const ctl::ConfigurationModel& model) {
  NoteModel(model);
  deletionEntries_.clear();
  deletionAdapter_.reset();
  deletionRow_ = -1;
  deletionWarning_ = false;
  const ctl::AdapterRecord* adapter = Selected(model);
  if (adapter == nullptr) return;
  deletionAdapter_ = AdapterIdentity::Of(*adapter);
  deletionAdapterNumber_ = static_cast<std::uint32_t>(selectedAdapter);
  deletionDevicesPerChannel_ = adapter->devicesPerChannel;
  const bool extended = model.extendedNaming;

  for (std::size_t s = 0; s < SetCountOf(*adapter); ++s) {
    const ctl::SetRecord& set = adapter->sets[s];
    DeletionEntry entry;
    entry.kind = DeletionEntry::Kind::kSet;
    entry.row = {set.type, set.name, set.capacity};
    entry.striped = set.kind == ctl::SetKind::kStriped;
    entry.setIndex = static_cast<std::uint8_t>(s);
    entry.setLocation = set.locationText;
    for (std::size_t m = 0; m < MemberCountOf(set); ++m) {
      const unsigned index = set.members[m].deviceIndex;
      const unsigned perChannel = extended ? deletionDevicesPerChannel_ : 2;
      const unsigned channel = perChannel == 0 ? index : index / perChannel;
      const unsigned device = perChannel == 0 ? 0 : index % perChannel;
      const ctl::DeviceRecord* disk = DeviceAt(*adapter, channel, device);
      entry.members.push_back({MemberLocationText(index, deletionDevicesPerChannel_, extended),
                               disk ? disk->modelNumber : ctl::kUnknown,
                               disk ? disk->capacity : ctl::kUnknown});
    }
    deletionEntries_.push_back(std::move(entry));
  }
  for (const DiskEntry& spare : existingSpares) {
    DeletionEntry entry;
    entry.kind = DeletionEntry::Kind::kSpare;
    entry.row = {res::LoadString(res::kStrSpareDrive), spare.disk.modelNumber, spare.disk.capacity};
    entry.members.push_back(
        {LocationText(spare, extended), spare.disk.modelNumber, spare.disk.capacity});
    entry.deviceIndex = static_cast<std::uint8_t>(spare.DeviceIndex());
    deletionEntries_.push_back(std::move(entry));
  }
}

void WizardState::ClickDeletion(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= deletionEntries_.size()) return;
  deletionRow_ = row;
  if (deletionEntries_[static_cast<std::size_t>(row)].striped) deletionWarning_ = true;
}

std::optional<DeletionPlan> WizardState::PlanDeletion() const {
  if (deletionRow_ < 0 || !deletionAdapter_) return std::nullopt;
  const DeletionEntry& entry = deletionEntries_[static_cast<std::size_t>(deletionRow_)];
  DeletionPlan plan;
  plan.adapterNumber = deletionAdapterNumber_;
  plan.adapter = *deletionAdapter_;
  if (entry.kind == DeletionEntry::Kind::kSpare) {
    plan.spare = true;
    plan.deviceIndex = entry.deviceIndex;
    return plan;
  }
  const unsigned position = DrivePosition(entry.setLocation);
  const unsigned perChannel = std::max(deletionDevicesPerChannel_, 1u);
  plan.removeChannel = position / perChannel;
  plan.removeDevice = position % perChannel;
  plan.setIndex = entry.setIndex;
  return plan;
}

bool WizardState::DeletionStillValid(const ctl::ConfigurationModel& model) const {
  if (deletionRow_ < 0 || !deletionAdapter_) return false;
  const ctl::AdapterRecord* adapter = model.Adapter(deletionAdapterNumber_);
  if (adapter == nullptr || !deletionAdapter_->Matches(*adapter)) return false;
  const DeletionEntry& entry = deletionEntries_[static_cast<std::size_t>(deletionRow_)];
  if (entry.kind == DeletionEntry::Kind::kSpare) {
    const ctl::DeviceRecord* disk = adapter->DeviceAt(entry.deviceIndex);
    return disk != nullptr && disk->present != 0 && disk->spare != 0;
  }
  if (entry.setIndex >= SetCountOf(*adapter)) return false;
  const ctl::SetRecord& set = adapter->sets[entry.setIndex];
  return set.type == entry.row.first && set.name == entry.row.model &&
         set.locationText == entry.setLocation;
}

}  // namespace kestrune::wizard
