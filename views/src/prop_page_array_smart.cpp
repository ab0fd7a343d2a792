#include "views/prop_page_array_smart.h"

#include <QPushButton>
#include <QRadioButton>

#include "ui_prop_page_array_smart.h"
#include "views/set_texts.h"

namespace kestrune::views {

CPropPageArraySmart::CPropPageArraySmart(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArraySmart>()) {
  SetUpForm(*ui_);
  for (QRadioButton* radio : {ui_->enabledRadio, ui_->disabledRadio})
    connect(radio, &QRadioButton::clicked, this, [this] { ui_->applyButton->setEnabled(true); });
  connect(ui_->applyButton, &QPushButton::clicked, this, [this] { OnApplySpare(); });
}

CPropPageArraySmart::~CPropPageArraySmart() = default;

bool CPropPageArraySmart::OnSetActive() {
  ctl::SetRecord shown;
  bool found = false;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo::Lock lock(Context().Io());
    const ResolvedNode node = Resolve(Context().Io().Model(), Node());
    if (node.set != nullptr) {
      found = true;
      shown.smartSupport = node.set->smartSupport;
      shown.smartEnabled = node.set->smartEnabled;
      shown.smartStatus = node.set->smartStatus;
      shown.spareEnabled = node.set->spareEnabled;
      shown.kind = node.set->kind;
    }
  }
  SetValue(ui_->supportValue, shown.smartSupport);
  SetValue(ui_->enabledValue, shown.smartEnabled);
  SetValue(ui_->statusValue, shown.smartStatus);
  const SpareChoice stored = shown.spareEnabled == 1 ? SpareChoice::Enabled : SpareChoice::Disabled;
  if (choice_ == SpareChoice::None) choice_ = stored;
  // Only a plain mirrored set has its spare switched here. The others show
  // what the adapter holds, unchangeable.
  const bool changeable = found && IsMirroredSetOnly(shown.kind);
  const SpareChoice selected = changeable ? choice_ : stored;
  ui_->enabledRadio->setEnabled(changeable);
  ui_->disabledRadio->setEnabled(changeable);
  ui_->enabledRadio->setChecked(selected == SpareChoice::Enabled);
  ui_->disabledRadio->setChecked(selected != SpareChoice::Enabled);
  ui_->applyButton->setEnabled(false);
  return CNodePage::OnSetActive();
}

bool CPropPageArraySmart::OnKillActive() {
  // A change that was not applied is forgotten.
  if (ui_->applyButton->isEnabled()) choice_ = SpareChoice::None;
  return CNodePage::OnKillActive();
}

void CPropPageArraySmart::OnApplySpare() {
  const bool on = ui_->enabledRadio->isChecked();
  choice_ = on ? SpareChoice::Enabled : SpareChoice::Disabled;
  bool applied = false;
  {
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode found = Resolve(io.Model(), Node());
    // A refusal is shown by the request layer once the lock is let go.
    if (found.set != nullptr && IsMirroredSetOnly(found.set->kind))
      applied = io.ChangeSpareUse(Node().adapter, Node().set, on);
  }
  if (!applied) choice_ = SpareChoice::None;
  OnSetActive();
}

}  // namespace kestrune::views
