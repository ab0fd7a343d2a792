// CPropPageArraySmart: the SMART state and hot-spare setting of the selected set.
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageArraySmart;
}

namespace kestrune::views {

class CPropPageArraySmart final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageArraySmart(NodeContext& context, const NodeRef& node);
  ~CPropPageArraySmart() override;

 private:
  std::unique_ptr<::Ui::CPropPageArraySmart> ui_;
};

}  // namespace kestrune::views
