// Which pages each node kind shows, in tab order: one table.
#pragma once

#include <memory>
#include <vector>

#include "views/node_page.h"
#include "views/node_ref.h"

namespace kestrune::views {

// What decides between the pages of a node kind.
struct PageConditions {
  bool ntFamily = true;         // the support-driver page is for the other family only
  bool extendedNaming = false;  // any adapter is an extended one
};

struct NodePageEntry {
  NodeKind kind;
  unsigned templateId;
  // Whether the node shows the page under these conditions; null: always.
  bool (*shown)(const PageConditions&);
  std::unique_ptr<CNodePage> (*make)(NodeContext& context, const NodeRef& node);
};

// Every entry, by node kind and then in tab order.
const std::vector<NodePageEntry>& NodePageTable();

// The template numbers a node of this kind shows, in tab order.
std::vector<unsigned> NodePageTemplates(NodeKind kind, const PageConditions& conditions);

// The pages of a node, made for it, in tab order.
std::vector<std::unique_ptr<CNodePage>> MakeNodePages(NodeContext& context, const NodeRef& node,
                                                      const PageConditions& conditions);

}  // namespace kestrune::views
