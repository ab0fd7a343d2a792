// What the configuration tree shows of the model, without widgets: the item
// labels, their images and nodes, branch by branch. The window turns these
// shapes into items; tests read them directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/model.h"
#include "views/node_ref.h"

namespace kestrune::views {

// The tree's image list, in order: image index -> icon resource.
inline constexpr int kImageComputer = 0;
inline constexpr int kImageAdapter = 1;
inline constexpr int kImageChannel = 2;
inline constexpr int kImageDiskFree = 3;
inline constexpr int kImageDiskInUse = 4;
inline constexpr int kImageCdromFree = 5;
inline constexpr int kImageCdromInUse = 6;
inline constexpr int kImageTapeFree = 7;
inline constexpr int kImageTapeInUse = 8;
inline constexpr int kImageSets = 9;
inline constexpr int kImageSet = 10;
inline constexpr int kImageUnassigned = 11;  // loaded, never given to an item
inline constexpr int kImageSpare = 12;
extern const std::array<unsigned, 13> kTreeImageIcons;

// The image of a device item, from its record: tape and CD-ROM packet
// devices by their type code, free or in use (flag 0x40); other devices a
// disk, free or in use, or the spare-drive image when the device is a spare
// (an in-use packet device of another type stays in use).
int DeviceImage(const ctl::DeviceRecord& device);

struct TreeItemShape {
  NodeRef node;
  std::wstring label;
  int image = 0;
  std::vector<TreeItemShape> children;
};

// The root's label: the computer name cut to 15 characters, or "My
// Computer" when the name could not be read.
std::wstring RootLabel(const ctl::ComputerInfo& computer);

// The branch of adapter `adapterNumber` (0-based): the adapter item labelled
// with its chip model (and "U-<number>" unless the model text holds "U-"
// already); its channels ("Primary"/"Secondary" with "Master"/"Slave" for the
// devices their presence bits show, or "Channel <n>" with a "Device" per
// present slot); and for a RAID chip "Sets" with a "Set <k>" per set slot
// below the set count whose name is not "UNKNOWN". Nothing when the model
// has no such adapter. Read under the model lock.
std::optional<TreeItemShape> AdapterBranchShape(const ctl::ConfigurationModel& model,
                                                std::uint32_t adapterNumber);

}  // namespace kestrune::views
