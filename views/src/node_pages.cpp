#include "views/node_pages.h"

#include "views/prop_page_adapter.h"
#include "views/prop_page_array.h"
#include "views/prop_page_array_mbrs.h"
#include "views/prop_page_array_smart.h"
#include "views/prop_page_arrays.h"
#include "views/prop_page_channel.h"
#include "views/prop_page_channel2.h"
#include "views/prop_page_device.h"
#include "views/prop_page_device_identify.h"
#include "views/prop_page_device_smart.h"
#include "views/prop_page_events.h"
#include "views/prop_page_my_computer.h"

namespace kestrune::views {

namespace {

template <typename Page>
std::unique_ptr<CNodePage> Make(NodeContext& context, const NodeRef& node) {
  return std::make_unique<Page>(context, node);
}

bool Extended(const PageConditions& c) {
  return c.extendedNaming;
}
bool NotExtended(const PageConditions& c) {
  return !c.extendedNaming;
}

}  // namespace

const std::vector<NodePageEntry>& NodePageTable() {
  // The root's support-driver page (template 1026) belongs to the other
  // operating-system family only, which this program never runs on: it is
  // not built.
  static const std::vector<NodePageEntry> table = {
      {NodeKind::Computer, 1002, nullptr, &Make<CPropPageMyComputer>},
      {NodeKind::Computer, 1016, nullptr, &Make<CPropPageEvents>},
      {NodeKind::Adapter, 1004, nullptr, &Make<CPropPageAdapter>},
      {NodeKind::Channel, 1044, &Extended, &Make<CPropPageChannel2>},
      {NodeKind::Channel, 1009, &NotExtended, &Make<CPropPageChannel>},
      {NodeKind::Device, 1008, nullptr, &Make<CPropPageDevice>},
      {NodeKind::Device, 1025, nullptr, &Make<CPropPageDeviceSmart>},
      {NodeKind::Device, 1011, nullptr, &Make<CPropPageDeviceIdentify>},
      {NodeKind::Sets, 1013, nullptr, &Make<CPropPageArrays>},
      {NodeKind::Set, 1014, nullptr, &Make<CPropPageArray>},
      {NodeKind::Set, 1015, nullptr, &Make<CPropPageArrayMbrs>},
      {NodeKind::Set, 1027, nullptr, &Make<CPropPageArraySmart>},
      {NodeKind::Set, 1011, nullptr, &Make<CPropPageDeviceIdentify>},
  };
  return table;
}

std::vector<unsigned> NodePageTemplates(NodeKind kind, const PageConditions& conditions) {
  std::vector<unsigned> templates;
  for (const NodePageEntry& entry : NodePageTable()) {
    if (entry.kind == kind && (entry.shown == nullptr || entry.shown(conditions)))
      templates.push_back(entry.templateId);
  }
  return templates;
}

std::vector<std::unique_ptr<CNodePage>> MakeNodePages(NodeContext& context, const NodeRef& node,
                                                      const PageConditions& conditions) {
  std::vector<std::unique_ptr<CNodePage>> pages;
  for (const NodePageEntry& entry : NodePageTable()) {
    if (entry.kind == node.kind && (entry.shown == nullptr || entry.shown(conditions)))
      pages.push_back(entry.make(context, node));
  }
  return pages;
}

}  // namespace kestrune::views
