// CPropPageArray: the description of the selected set, and for a mirrored set
// its rebuild rate, changed with the slider and "&Apply".
#pragma once

#include <cstdint>
#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageArray;
}

namespace kestrune::views {

class CPropPageArray final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageArray(NodeContext& context, const NodeRef& node);
  ~CPropPageArray() override;

  bool OnSetActive() override;

 private:
  // Mirrored sets show the rebuild rate, the others the stripe size.
  void ShowKind(bool mirrored);
  void OnApplyRate();

  std::unique_ptr<::Ui::CPropPageArray> ui_;
  // The rate the slider was last put to from the model: where it returns
  // when the set is gone by the time "&Apply" is pressed.
  int shownRate_ = 0;
};

}  // namespace kestrune::views
