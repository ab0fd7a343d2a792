#include "controller/model.h"

#include <algorithm>
#include <utility>

namespace kestrune::ctl {

std::size_t AdapterRecord::SlotCount() const {
  const std::size_t usedChannels = std::min<std::size_t>(channelCount, kMaxChannels);
  const std::size_t perChannel = std::min<std::size_t>(devicesPerChannel, kMaxDevicesPerChannel);
  return usedChannels * perChannel;
}

DeviceRecord* AdapterRecord::DeviceAt(std::size_t deviceIndex) {
  return const_cast<DeviceRecord*>(std::as_const(*this).DeviceAt(deviceIndex));
}

const DeviceRecord* AdapterRecord::DeviceAt(std::size_t deviceIndex) const {
  if (devicesPerChannel == 0 || deviceIndex >= SlotCount()) return nullptr;
  return &channels[deviceIndex / devicesPerChannel].devices[deviceIndex % devicesPerChannel];
}

}  // namespace kestrune::ctl
