#include "views/prop_page_arrays.h"

#include "resources/resource_ids.h"
#include "ui_prop_page_arrays.h"

namespace kestrune::views {

CPropPageArrays::CPropPageArrays(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArrays>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapSet);
}

CPropPageArrays::~CPropPageArrays() = default;

bool CPropPageArrays::OnSetActive() {
  // A failed query leaves what the record held, "UNKNOWN" at first.
  ctl::AdapterRecord shown;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode found = Resolve(io.Model(), NodeRef::Adapter(Node().adapter));
    if (found.adapter != nullptr) {
      io.QueryRioVersion(*found.adapter);
      shown.rioMajorText = found.adapter->rioMajorText;
      shown.rioMinorText = found.adapter->rioMinorText;
      shown.arrayConflicts = found.adapter->arrayConflicts;
    }
  }
  SetValue(ui_->majorValue, shown.rioMajorText);
  SetValue(ui_->minorValue, shown.rioMinorText);
  SetValue(ui_->conflictValue, shown.arrayConflicts);
  return CNodePage::OnSetActive();
}

}  // namespace kestrune::views
