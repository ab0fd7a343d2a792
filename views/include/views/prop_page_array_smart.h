// CPropPageArraySmart: the SMART state of the disk the selected set presents,
// and whether a hot spare replaces a dropped member of a mirrored set.
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

  bool OnSetActive() override;
  bool OnKillActive() override;

 private:
  // The hot-spare choice kept across page switches while the set's node is
  // selected; none until the page first shows it, and again after a refused
  // or an unapplied change.
  enum class SpareChoice { None, Enabled, Disabled };

  void OnApplySpare();

  std::unique_ptr<::Ui::CPropPageArraySmart> ui_;
  SpareChoice choice_ = SpareChoice::None;
};

}  // namespace kestrune::views
