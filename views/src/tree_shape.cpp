#include "views/tree_shape.h"

#include "platform/text.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

namespace kestrune::views {

const std::array<unsigned, 13> kTreeImageIcons = {
    res::kIconComputer,  res::kIconAdapter,   res::kIconChannel,    res::kIconDiskFree,
    res::kIconDiskInUse, res::kIconCdromFree, res::kIconCdromInUse, res::kIconTapeFree,
    res::kIconTapeInUse, res::kIconSets,      res::kIconSet,        res::kIconUnassigned,
    res::kIconSpare,
};

namespace {

constexpr std::uint32_t kTypeTape = 1;
constexpr std::uint32_t kTypeCdrom = 5;
constexpr std::size_t kRootLabelChars = 15;

TreeItemShape DeviceItem(const NodeRef& node, unsigned labelId, const ctl::DeviceRecord& device) {
  return {node, res::LoadString(labelId), DeviceImage(device), {}};
}

}  // namespace

int DeviceImage(const ctl::DeviceRecord& device) {
  const bool inUse = (device.flags & ctl::kFlagInUse) != 0;
  if ((device.flags & ctl::kFlagPacket) != 0) {
    if (device.typeCode == kTypeTape) return inUse ? kImageTapeInUse : kImageTapeFree;
    if (device.typeCode == kTypeCdrom) return inUse ? kImageCdromInUse : kImageCdromFree;
    if (inUse) return kImageDiskInUse;
    return device.spare != 0 ? kImageSpare : kImageDiskFree;
  }
  if (device.spare != 0) return kImageSpare;
  return inUse ? kImageDiskInUse : kImageDiskFree;
}

std::wstring RootLabel(const ctl::ComputerInfo& computer) {
  // The name keeps its preset when it could not be read.
  if (computer.computerName.empty() || computer.computerName == L"Unknown")
    return res::LoadString(res::kStrMyComputer);
  return computer.computerName.substr(0, kRootLabelChars);
}

std::optional<TreeItemShape> AdapterBranchShape(const ctl::ConfigurationModel& model,
                                                std::uint32_t adapterNumber) {
  const ctl::AdapterRecord* adapter = model.Adapter(adapterNumber);
  if (adapter == nullptr) return std::nullopt;
  TreeItemShape branch;
  branch.node = NodeRef::Adapter(adapterNumber);
  branch.image = kImageAdapter;
  // The suffix tells adapters of the same chip apart; it is part of the
  // label only, so the model (and the report) keep the chip model as read.
  branch.label = adapter->chipModel;
  if (branch.label.find(L"U-") == std::wstring::npos)
    branch.label += res::FormatString(res::kStrAdapterSuffix, static_cast<int>(adapterNumber));

  if (!adapter->IsExtended()) {
    // Two channels of a master and a slave, shown as their presence bits say.
    for (std::uint32_t c = 0; c < 2; ++c) {
      TreeItemShape channel{NodeRef::Channel(adapterNumber, c),
                            res::LoadString(c == 0 ? res::kStrPrimary : res::kStrSecondary),
                            kImageChannel,
                            {}};
      const ctl::ChannelRecord& record = adapter->channels[c];
      if ((record.flags & 0x1) != 0)
        channel.children.push_back(
            DeviceItem(NodeRef::Device(adapterNumber, c, 0), res::kStrMaster, record.devices[0]));
      if ((record.flags & 0x2) != 0)
        channel.children.push_back(
            DeviceItem(NodeRef::Device(adapterNumber, c, 1), res::kStrSlave, record.devices[1]));
      branch.children.push_back(std::move(channel));
    }
  } else {
    const std::size_t channels = std::min<std::size_t>(adapter->channelCount, ctl::kMaxChannels);
    const std::size_t perChannel =
        std::min<std::size_t>(adapter->devicesPerChannel, ctl::kMaxDevicesPerChannel);
    for (std::uint32_t c = 0; c < channels; ++c) {
      TreeItemShape channel{NodeRef::Channel(adapterNumber, c),
                            res::FormatString(res::kStrChannelNumber, static_cast<int>(c)),
                            kImageChannel,
                            {}};
      for (std::uint32_t d = 0; d < perChannel; ++d) {
        const ctl::DeviceRecord& device = adapter->channels[c].devices[d];
        if (device.present == 0) continue;
        channel.children.push_back(
            DeviceItem(NodeRef::Device(adapterNumber, c, d), res::kStrDevice, device));
      }
      branch.children.push_back(std::move(channel));
    }
  }

  if (adapter->IsRaidChip()) {
    TreeItemShape sets{
        NodeRef::Sets(adapterNumber), res::LoadString(res::kStrSets), kImageSets, {}};
    const std::size_t count = std::min<std::size_t>(adapter->setCount, ctl::kMaxSets);
    for (std::uint32_t k = 0; k < count; ++k) {
      if (platform::EqualsNoCase(adapter->sets[k].name, ctl::kUnknown)) continue;
      sets.children.push_back({NodeRef::Set(adapterNumber, k),
                               res::FormatString(res::kStrSetNumber, static_cast<int>(k)),
                               kImageSet,
                               {}});
    }
    branch.children.push_back(std::move(sets));
  }
  return branch;
}

}  // namespace kestrune::views
