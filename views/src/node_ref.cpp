#include "views/node_ref.h"

namespace kestrune::views {

NodeRef NodeRef::Parent() const {
  switch (kind) {
    case NodeKind::Computer:
    case NodeKind::Adapter:
      return Computer();
    case NodeKind::Channel:
    case NodeKind::Sets:
      return Adapter(adapter);
    case NodeKind::Device:
      return Channel(adapter, channel);
    case NodeKind::Set:
      return Sets(adapter);
  }
  return Computer();
}

bool ResolvedNode::Complete(NodeKind kind) const {
  switch (kind) {
    case NodeKind::Computer:
      return true;
    case NodeKind::Adapter:
    case NodeKind::Sets:
      return adapter != nullptr;
    case NodeKind::Channel:
      return channel != nullptr;
    case NodeKind::Device:
      return device != nullptr;
    case NodeKind::Set:
      return set != nullptr;
  }
  return false;
}

ResolvedNode Resolve(ctl::ConfigurationModel& model, const NodeRef& node) {
  ResolvedNode found;
  if (node.kind == NodeKind::Computer) return found;
  ctl::AdapterRecord* adapter = model.Adapter(node.adapter);
  if (adapter == nullptr) return found;
  found.adapter = adapter;
  const std::size_t channels = std::min<std::size_t>(adapter->channelCount, ctl::kMaxChannels);
  const std::size_t perChannel =
      std::min<std::size_t>(adapter->devicesPerChannel, ctl::kMaxDevicesPerChannel);
  switch (node.kind) {
    case NodeKind::Channel:
    case NodeKind::Device:
      if (node.channel >= channels) break;
      found.channel = &adapter->channels[node.channel];
      if (node.kind == NodeKind::Device && node.device < perChannel) {
        found.device = &found.channel->devices[node.device];
        found.deviceIndex = static_cast<std::uint32_t>(node.channel * perChannel + node.device);
      }
      break;
    case NodeKind::Set:
      if (node.set < std::min<std::size_t>(adapter->setCount, ctl::kMaxSets))
        found.set = &adapter->sets[node.set];
      break;
    default:
      break;
  }
  return found;
}

}  // namespace kestrune::views
