#include "views/node_pages.h"

#include "resources/dialog_templates.h"

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
  // The root's support-driver page belongs to the other
  // operating-system family only, which this program never runs on: it is
  // not built.
  static const std::vector<NodePageEntry> table = {
      {NodeKind::Computer, res::kTemplatePropPageMyComputer, nullptr, &Make<CPropPageMyComputer>},
      {NodeKind::Computer, res::kTemplatePropPageEvents, nullptr, &Make<CPropPageEvents>},
      {NodeKind::Adapter, res::kTemplatePropPageAdapter, nullptr, &Make<CPropPageAdapter>},
      {NodeKind::Channel, res::kTemplatePropPageChannel2, &Extended, &Make<CPropPageChannel2>},
      {NodeKind::Channel, res::kTemplatePropPageChannel, &NotExtended, &Make<CPropPageChannel>},
      {NodeKind::Device, res::kTemplatePropPageDevice, nullptr, &Make<CPropPageDevice>},
      {NodeKind::Device, res::kTemplatePropPageDeviceSmart, nullptr, &Make<CPropPageDeviceSmart>},
      {NodeKind::Device, res::kTemplatePropPageDeviceIdentify, nullptr,
       &Make<CPropPageDeviceIdentify>},
      {NodeKind::Sets, res::kTemplatePropPageArrays, nullptr, &Make<CPropPageArrays>},
      {NodeKind::Set, res::kTemplatePropPageArray, nullptr, &Make<CPropPageArray>},
      {NodeKind::Set, res::kTemplatePropPageArrayMbrs, nullptr, &Make<CPropPageArrayMbrs>},
      {NodeKind::Set, res::kTemplatePropPageArraySmart, nullptr, &Make<CPropPageArraySmart>},
      {NodeKind::Set, res::kTemplatePropPageDeviceIdentify, nullptr,
       &Make<CPropPageDeviceIdentify>},
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
