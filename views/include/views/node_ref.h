// Nodes of the configuration tree, named by numbers rather than by pointers
// into the model: a page or a tree item keeps a NodeRef and finds the records
// it names afresh, under the model lock, each time it needs them. A model
// that changes meanwhile (an event re-read, the adapters emptied after a
// wizard run) then leaves a node that resolves to nothing, never to a freed
// record.
#pragma once

#include <QMetaType>
#include <cstdint>

#include "controller/model.h"

namespace kestrune::views {

enum class NodeKind {
  Computer,  // the root
  Adapter,
  Channel,  // "Primary", "Secondary" or "Channel %d"
  Device,   // "Master", "Slave" or "Device"
  Sets,     // "Sets", under a RAID adapter
  Set,      // "Set %d"
};

struct NodeRef {
  NodeKind kind = NodeKind::Computer;
  std::uint32_t adapter = 0;  // adapter number (0-based); not for the computer
  std::uint32_t channel = 0;  // channel and device nodes
  std::uint32_t device = 0;   // device nodes: the slot in the channel
  std::uint32_t set = 0;      // set nodes: the set slot

  static NodeRef Computer() { return {}; }
  static NodeRef Adapter(std::uint32_t a) { return {NodeKind::Adapter, a, 0, 0, 0}; }
  static NodeRef Channel(std::uint32_t a, std::uint32_t c) {
    return {NodeKind::Channel, a, c, 0, 0};
  }
  static NodeRef Device(std::uint32_t a, std::uint32_t c, std::uint32_t d) {
    return {NodeKind::Device, a, c, d, 0};
  }
  static NodeRef Sets(std::uint32_t a) { return {NodeKind::Sets, a, 0, 0, 0}; }
  static NodeRef Set(std::uint32_t a, std::uint32_t s) { return {NodeKind::Set, a, 0, 0, s}; }

  // The node this one hangs under in the tree (the computer for itself).
  NodeRef Parent() const;
  bool operator==(const NodeRef&) const = default;
};

// The records a node names, as the model holds them now; null where the model
// has no such record (the adapter is gone, the channel or slot lies beyond
// the adapter's counts, the set slot beyond its set count). Valid only while
// the caller holds the model lock.
struct ResolvedNode {
  ctl::AdapterRecord* adapter = nullptr;
  ctl::ChannelRecord* channel = nullptr;
  ctl::DeviceRecord* device = nullptr;
  ctl::SetRecord* set = nullptr;
  // Device nodes: channel x devices per channel + device.
  std::uint32_t deviceIndex = 0;

  // Whether every record the node's kind names was found.
  bool Complete(NodeKind kind) const;
};
ResolvedNode Resolve(ctl::ConfigurationModel& model, const NodeRef& node);

}  // namespace kestrune::views

Q_DECLARE_METATYPE(kestrune::views::NodeRef)
