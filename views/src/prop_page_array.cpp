#include "views/prop_page_array.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "platform_qt/qt_ui_services.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui_prop_page_array.h"
#include "views/set_texts.h"

namespace kestrune::views {

namespace {
constexpr int kMaxRate = 100;
}  // namespace

CPropPageArray::CPropPageArray(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArray>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapSet);
  ui_->rateSlider->setRange(0, kMaxRate);
  ui_->rateSlider->setTickInterval(10);
  ui_->rateSlider->setPageStep(10);
  ctl::SetKind type = ctl::SetKind::kUnknown;
  {
    ctl::CControllerIo::Lock lock(Context().Io());
    const ResolvedNode found = Resolve(Context().Io().Model(), Node());
    if (found.set != nullptr) type = found.set->kind;
  }
  ShowKind(IsMirroredSet(type));
  // A change the user made (mouse, keyboard or wheel) once the thumb is let
  // go; the page's own moves are made with the signals blocked.
  connect(ui_->rateSlider, &QSlider::sliderReleased, this,
          [this] { ui_->applyButton->setEnabled(true); });
  connect(ui_->rateSlider, &QSlider::valueChanged, this, [this] {
    if (!ui_->rateSlider->isSliderDown()) ui_->applyButton->setEnabled(true);
  });
  connect(ui_->applyButton, &QPushButton::clicked, this, [this] { OnApplyRate(); });
}

CPropPageArray::~CPropPageArray() = default;

void CPropPageArray::ShowKind(bool mirrored) {
  ui_->stripeSizeCaption->setVisible(!mirrored);
  ui_->stripeSizeValue->setVisible(!mirrored);
  for (QWidget* control :
       {static_cast<QWidget*>(ui_->rateCaption), static_cast<QWidget*>(ui_->lowLabel),
        static_cast<QWidget*>(ui_->rateSlider), static_cast<QWidget*>(ui_->highLabel),
        static_cast<QWidget*>(ui_->applyButton)})
    control->setVisible(mirrored);
}

bool CPropPageArray::OnSetActive() {
  // A set that is gone shows the presets ("UNKNOWN", 0).
  ctl::SetRecord shown;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo::Lock lock(Context().Io());
    const ResolvedNode found = Resolve(Context().Io().Model(), Node());
    if (found.set != nullptr) shown = *found.set;
  }
  const bool mirrored = IsMirroredSet(shown.kind);
  ShowKind(mirrored);
  ui_->setGroup->setTitle(platform_qt::ToQString(
      res::FormatString(res::kStrSetNumberGroup, static_cast<int>(Node().set))));
  SetValue(ui_->nameValue, shown.name);
  SetValue(ui_->typeValue, shown.type);
  SetValue(ui_->stateValue, shown.state);
  SetValue(ui_->membersValue,
           res::FormatString(res::kStrFormatDecimal, static_cast<int>(shown.memberCount)));
  SetValue(ui_->locationValue, shown.locationText);
  SetValue(ui_->metaVersionValue, shown.metaVersion);
  SetValue(ui_->capacityValue, shown.capacity);
  SetValue(ui_->stripeSizeValue,
           mirrored
               ? std::wstring()
               : res::FormatString(res::kStrStripeBytes, static_cast<long long>(shown.stripeSize)));
  if (mirrored) {
    const QSignalBlocker quiet(ui_->rateSlider);
    ui_->rateSlider->setValue(
        static_cast<int>(std::min<std::uint32_t>(shown.rebuildRate, kMaxRate)));
    shownRate_ = ui_->rateSlider->value();
  }
  ui_->applyButton->setEnabled(false);
  return CNodePage::OnSetActive();
}

void CPropPageArray::OnApplyRate() {
  const int rate = ui_->rateSlider->value();
  int back = shownRate_;
  bool applied = false;
  {
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode found = Resolve(io.Model(), Node());
    if (found.set != nullptr) {
      // A refusal is shown by the request layer once the lock is let go.
      applied = io.ChangeRebuildRate(Node().adapter, Node().set, static_cast<std::uint8_t>(rate));
      back = static_cast<int>(std::min<std::uint32_t>(found.set->rebuildRate, kMaxRate));
    }
  }
  if (!applied) {
    const QSignalBlocker quiet(ui_->rateSlider);
    ui_->rateSlider->setValue(back);
  }
  shownRate_ = ui_->rateSlider->value();
  ui_->applyButton->setEnabled(false);
}

}  // namespace kestrune::views
