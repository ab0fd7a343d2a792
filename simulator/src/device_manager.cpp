// The device manager's view of the simulated adapters. Like Plug and Play, it
// is a snapshot: the nodes are taken from the topology when the manager starts
// and an adapter's children are taken again only when that adapter (or the
// root) is re-enumerated, so a change in the driver shows up late.
#include "simulator/device_manager.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

namespace kestrune::sim {
namespace {

using platform::DeviceNodeStatus;
using platform::DeviceProperty;
using platform::DevInst;

constexpr std::uint32_t kDnDriverLoaded = 0x2;
constexpr std::uint32_t kDnStarted = 0x8;
constexpr std::uint32_t kDnHasProblem = 0x400;

enum class NodeKind { Root, Adapter, Disk, SetDisk, Cdrom };

struct DevNode {
  NodeKind kind = NodeKind::Root;
  std::size_t port = 0;
  int channel = 0;  // targets only
  int device = 0;
  DevInst parent = 0;
  std::vector<DevInst> children;
  std::uint32_t problem = 0;
  std::wstring pdoName;
  std::wstring instanceId;
  std::wstring service;
  std::wstring location;
  std::wstring friendlyName;
};

wchar_t LowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return LowerAscii(x) == LowerAscii(y); });
}

template <typename... Args>
std::wstring Format(const wchar_t* format, Args... args) {
  wchar_t buffer[256];
  const int n = std::swprintf(buffer, std::size(buffer), format, args...);
  return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(n));
}

bool IsTarget(NodeKind kind) {
  return kind == NodeKind::Disk || kind == NodeKind::SetDisk || kind == NodeKind::Cdrom;
}

// An adapter with an empty name goes by its service in the object names.
std::wstring ServiceOf(const AdapterView& view) {
  return view.service.empty() ? std::wstring(L"ScsiAdapter") : view.service;
}

// The adapter's part of its targets' object names: its name (or, without one,
// its service) followed by 1 + the number of present adapters at lower ports
// that go by the same name.
std::wstring AdapterKeyPart(const AdapterView& view, const std::vector<AdapterView>& all) {
  const bool named = !view.name.empty();
  const std::wstring base = named ? view.name : ServiceOf(view);
  unsigned k = 1;
  for (const auto& other : all) {
    if (!other.present || other.port >= view.port) continue;
    if (named ? (!other.name.empty() && EqualsNoCase(other.name, base))
              : (other.name.empty() && EqualsNoCase(ServiceOf(other), base)))
      ++k;
  }
  return base + std::to_wstring(k);
}

// The PCI device identifier from the service or name ("bv7420r" -> 0x7420).
unsigned ChipFromName(const AdapterView& view) {
  for (const std::wstring* text : {&view.service, &view.name}) {
    for (std::size_t i = 0; i + 4 <= text->size(); ++i) {
      unsigned value = 0;
      bool hex = true;
      for (std::size_t j = i; j < i + 4 && hex; ++j) {
        const wchar_t c = (*text)[j];
        if (c >= L'0' && c <= L'9')
          value = value * 16 + static_cast<unsigned>(c - L'0');
        else
          hex = false;
      }
      if (hex) return value;
    }
  }
  return 0;
}

// SCSI inquiry product text: at most 16 characters, blanks as underscores.
std::wstring ProductText(const std::wstring& model) {
  std::wstring out;
  for (wchar_t c : model) {
    if (out.size() == 16) break;
    out.push_back((c <= L' ' || c == L'\\' || c == L'&' || c > 0x7E) ? L'_' : c);
  }
  while (!out.empty() && out.back() == L'_') out.pop_back();
  return out.empty() ? std::wstring(L"Disk") : out;
}

}  // namespace

struct SimulatedDeviceManager::State {
  std::mutex mutex;
  std::shared_ptr<Topology> topology;
  std::map<DevInst, DevNode> nodes;
  // Node numbers stay the same for the same (kind, port, channel, device).
  std::map<std::tuple<int, std::size_t, int, int>, DevInst> ids;
  DevInst nextId = 1;
  DevInst root = 0;
  int failLists = 0;
  int failIds = 0;
  int failStateChanges = 0;
  bool refuseStateChanges = false;
  int lag = 0;
  // Targets the user disabled, by (kind, port, channel, device).
  std::set<std::tuple<int, std::size_t, int, int>> disabled;

  DevInst IdFor(NodeKind kind, std::size_t port, int channel, int device) {
    auto [it, added] =
        ids.try_emplace(std::make_tuple(static_cast<int>(kind), port, channel, device), nextId);
    if (added) ++nextId;
    return it->second;
  }

  DevNode* Find(DevInst id) {
    auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : &it->second;
  }

  void DropChildren(DevNode& adapter) {
    for (DevInst child : adapter.children) nodes.erase(child);
    adapter.children.clear();
  }

  // Takes one adapter's node and its children afresh from `view`.
  void BuildAdapter(const AdapterView& view, const std::vector<AdapterView>& all) {
    const DevInst id = IdFor(NodeKind::Adapter, view.port, 0, 0);
    DevNode& adapter = nodes[id];
    DropChildren(adapter);
    adapter.kind = NodeKind::Adapter;
    adapter.port = view.port;
    adapter.parent = root;
    adapter.problem = 0;
    adapter.service = view.service;
    adapter.location = Format(L"PCI bus %u, device %u, function %u", view.pciBus, view.pciDevice,
                              view.pciFunction);
    adapter.pdoName = Format(L"\\Device\\NTPNP_PCI%04u", static_cast<unsigned>(view.port));
    adapter.instanceId =
        Format(L"PCI\\VEN_1B4B&DEV_%04X&SUBSYS_00000000&REV_02\\3&%08X&0&%02X", ChipFromName(view),
               0x2411E6FEu + 0x100u * static_cast<unsigned>(view.port),
               (view.pciDevice << 3 | view.pciFunction) & 0xFFu);
    adapter.friendlyName = view.name.empty() ? view.service : view.name;

    const std::wstring keyPart = AdapterKeyPart(view, all);
    for (const OsTarget& target : view.targets) {
      const NodeKind kind = !target.disk     ? NodeKind::Cdrom
                            : target.setDisk ? NodeKind::SetDisk
                                             : NodeKind::Disk;
      const DevInst childId = IdFor(kind, view.port, target.channel, target.device);
      if (nodes.count(childId) != 0) continue;  // the same target twice: list it once
      DevNode& child = nodes[childId];
      child.kind = kind;
      child.port = view.port;
      child.parent = id;
      child.problem = disabled.count(std::make_tuple(static_cast<int>(kind), view.port,
                                                     int{target.channel}, int{target.device})) != 0
                          ? platform::kProblemDisabled
                          : target.problem;
      child.channel = target.channel;
      child.device = target.device;
      child.pdoName =
          L"\\Device\\Scsi\\" + keyPart +
          Format(L"\\Path%uTarget%uLun0", unsigned{target.channel}, unsigned{target.device});
      child.instanceId =
          Format(L"SCSI\\%ls&Ven_BV&Prod_%ls&Rev_0001\\5&%08X&0&%02X%02X00",
                 kind == NodeKind::Cdrom ? L"CdRom" : L"Disk", ProductText(target.model).c_str(),
                 0x1C2D3E00u + 0x100u * static_cast<unsigned>(view.port), unsigned{target.channel},
                 unsigned{target.device});
      child.service = kind == NodeKind::Cdrom ? L"cdrom" : L"disk";
      child.location = Format(L"Bus Number %u, Target Id %u, LUN 0", unsigned{target.channel},
                              unsigned{target.device});
      child.friendlyName =
          target.model + (kind == NodeKind::Cdrom ? L" SCSI CdRom Device" : L" SCSI Disk Device");
      adapter.children.push_back(childId);  // map nodes stay put as others are added
    }
  }

  static const AdapterView* PresentView(const std::vector<AdapterView>& all, std::size_t port) {
    for (const auto& view : all)
      if (view.present && view.port == port) return &view;
    return nullptr;
  }

  void RebuildAdapter(DevInst id, const std::vector<AdapterView>& all) {
    DevNode* adapter = Find(id);
    if (adapter == nullptr) return;
    if (const AdapterView* view = PresentView(all, adapter->port))
      BuildAdapter(*view, all);
    else
      DropChildren(*adapter);
  }

  void RebuildAll(std::vector<AdapterView> all) {
    std::stable_sort(all.begin(), all.end(),
                     [](const AdapterView& a, const AdapterView& b) { return a.port < b.port; });
    root = IdFor(NodeKind::Root, 0, 0, 0);
    DevNode& rootNode = nodes[root];
    rootNode.kind = NodeKind::Root;
    rootNode.instanceId = L"HTREE\\ROOT\\0";
    const std::vector<DevInst> old = std::move(rootNode.children);
    for (DevInst adapter : old) {
      if (DevNode* node = Find(adapter)) DropChildren(*node);
      nodes.erase(adapter);
    }
    std::vector<DevInst> adapters;
    for (const auto& view : all) {
      if (!view.present || PresentView(all, view.port) != &view) continue;
      BuildAdapter(view, all);
      adapters.push_back(IdFor(NodeKind::Adapter, view.port, 0, 0));
    }
    nodes[root].children = std::move(adapters);
  }
};

SimulatedDeviceManager::SimulatedDeviceManager(std::shared_ptr<Topology> topology)
    : state_(std::make_unique<State>()) {
  state_->topology = std::move(topology);
  state_->RebuildAll(state_->topology ? state_->topology->Adapters() : std::vector<AdapterView>{});
}

SimulatedDeviceManager::~SimulatedDeviceManager() = default;

std::optional<std::wstring> SimulatedDeviceManager::ClassGuidFromName(
    const std::wstring& className) {
  if (EqualsNoCase(className, L"DiskDrive")) return std::wstring(kDiskDriveClassGuid);
  if (EqualsNoCase(className, L"SCSIAdapter")) return std::wstring(kScsiAdapterClassGuid);
  if (EqualsNoCase(className, L"CDROM")) return std::wstring(kCdromClassGuid);
  return std::nullopt;
}

std::optional<std::vector<DevInst>> SimulatedDeviceManager::PresentDevices(
    const std::wstring& classGuid) {
  std::lock_guard lock(state_->mutex);
  if (state_->failLists > 0) {
    --state_->failLists;
    return std::nullopt;
  }
  const auto wanted = [&](NodeKind kind) {
    switch (kind) {
      case NodeKind::Adapter:
        return EqualsNoCase(classGuid, kScsiAdapterClassGuid);
      case NodeKind::Disk:
      case NodeKind::SetDisk:
        return EqualsNoCase(classGuid, kDiskDriveClassGuid);
      case NodeKind::Cdrom:
        return EqualsNoCase(classGuid, kCdromClassGuid);
      case NodeKind::Root:
        return false;
    }
    return false;
  };
  std::vector<DevInst> list;
  for (DevInst adapter : state_->nodes[state_->root].children) {
    const DevNode* node = state_->Find(adapter);
    if (node == nullptr) continue;
    if (wanted(node->kind)) list.push_back(adapter);
    for (DevInst child : node->children)
      if (const DevNode* c = state_->Find(child); c != nullptr && wanted(c->kind))
        list.push_back(child);
  }
  return list;
}

std::optional<std::wstring> SimulatedDeviceManager::Property(DevInst device,
                                                             DeviceProperty property) {
  std::lock_guard lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr || node->kind == NodeKind::Root) return std::nullopt;
  switch (property) {
    case DeviceProperty::PhysicalDeviceObjectName:
      return node->pdoName;
    case DeviceProperty::Service:
      return node->service;
    case DeviceProperty::LocationInformation:
      return node->location;
    case DeviceProperty::FriendlyName:
      return node->friendlyName;
  }
  return std::nullopt;
}

std::optional<std::wstring> SimulatedDeviceManager::InstanceId(DevInst device) {
  std::lock_guard lock(state_->mutex);
  if (state_->failIds > 0) {
    --state_->failIds;
    return std::nullopt;
  }
  const DevNode* node = state_->Find(device);
  if (node == nullptr) return std::nullopt;
  return node->instanceId;
}

std::optional<DeviceNodeStatus> SimulatedDeviceManager::Status(DevInst device) {
  std::lock_guard lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr) return std::nullopt;
  DeviceNodeStatus status;
  status.problem = node->problem;
  status.status = node->problem != 0 ? kDnHasProblem : (kDnStarted | kDnDriverLoaded);
  return status;
}

bool SimulatedDeviceManager::Remove(DevInst device) {
  std::lock_guard lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr || !IsTarget(node->kind)) return false;
  if (DevNode* parent = state_->Find(node->parent)) std::erase(parent->children, device);
  state_->nodes.erase(device);
  return true;
}

bool SimulatedDeviceManager::Reenumerate(DevInst device) {
  std::unique_lock lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr) return false;
  const NodeKind kind = node->kind;
  if (IsTarget(kind)) return true;  // a disk has no children to find
  if (kind == NodeKind::Adapter && state_->lag > 0) {
    --state_->lag;
    return true;
  }
  // The topology has its own lock; never hold ours while asking it.
  lock.unlock();
  auto views = state_->topology ? state_->topology->Adapters() : std::vector<AdapterView>{};
  lock.lock();
  if (kind == NodeKind::Root)
    state_->RebuildAll(std::move(views));
  else
    state_->RebuildAdapter(device, views);
  return true;
}

bool SimulatedDeviceManager::ChangeState(DevInst device, bool enable) {
  std::lock_guard lock(state_->mutex);
  DevNode* node = state_->Find(device);
  if (node == nullptr || !IsTarget(node->kind)) return false;
  if (state_->refuseStateChanges) return false;
  if (state_->failStateChanges > 0) {
    --state_->failStateChanges;
    return false;
  }
  const auto key =
      std::make_tuple(static_cast<int>(node->kind), node->port, node->channel, node->device);
  if (enable) {
    state_->disabled.erase(key);
    if (node->problem == platform::kProblemDisabled) node->problem = 0;
  } else {
    state_->disabled.insert(key);
    node->problem = platform::kProblemDisabled;
  }
  return true;
}

std::optional<DevInst> SimulatedDeviceManager::FirstChild(DevInst device) {
  std::lock_guard lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr || node->children.empty()) return std::nullopt;
  return node->children.front();
}

std::optional<DevInst> SimulatedDeviceManager::NextSibling(DevInst device) {
  std::lock_guard lock(state_->mutex);
  const DevNode* node = state_->Find(device);
  if (node == nullptr || node->kind == NodeKind::Root) return std::nullopt;
  const DevNode* parent = state_->Find(node->parent);
  if (parent == nullptr) return std::nullopt;
  auto it = std::find(parent->children.begin(), parent->children.end(), device);
  if (it == parent->children.end() || ++it == parent->children.end()) return std::nullopt;
  return *it;
}

void SimulatedDeviceManager::FailDeviceLists(int count) {
  std::lock_guard lock(state_->mutex);
  state_->failLists = std::max(count, 0);
}

void SimulatedDeviceManager::FailInstanceIds(int count) {
  std::lock_guard lock(state_->mutex);
  state_->failIds = std::max(count, 0);
}

void SimulatedDeviceManager::FailStateChanges(int count) {
  std::lock_guard lock(state_->mutex);
  state_->failStateChanges = std::max(count, 0);
}

void SimulatedDeviceManager::RefuseStateChanges() {
  std::lock_guard lock(state_->mutex);
  state_->refuseStateChanges = true;
}

void SimulatedDeviceManager::FollowTopology() {
  // The topology has its own lock; never hold ours while asking it.
  auto views = state_->topology ? state_->topology->Adapters() : std::vector<AdapterView>{};
  std::lock_guard lock(state_->mutex);
  state_->RebuildAll(std::move(views));
}

void SimulatedDeviceManager::SetReenumerationLag(int count) {
  std::lock_guard lock(state_->mutex);
  state_->lag = std::max(count, 0);
}

}  // namespace kestrune::sim
