// CPropPageDeviceSmart: the SMART state of the selected device and its two
// settings: the transfer mode the driver uses after the next restart (a
// registry value only) and the write cache (set on the device at once, and
// kept in the registry for the next start).
#pragma once

#include <memory>

#include "views/device_options.h"
#include "views/node_page.h"

namespace Ui {
class CPropPageDeviceSmart;
}

namespace kestrune::views {

class CPropPageDeviceSmart final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageDeviceSmart(NodeContext& context, const NodeRef& node);
  ~CPropPageDeviceSmart() override;

  bool OnSetActive() override;
  bool OnKillActive() override;

 private:
  void Fill();
  void OnModeSelected();
  void OnCacheClicked();
  void OnModeApply();
  void OnCacheApply();
  // The first supported mode becomes the device's default mode (done while
  // the device has no option value yet).
  void WriteFirstModeAsDefault();

  std::unique_ptr<::Ui::CPropPageDeviceSmart> ui_;
  ShownDevice shown_;
  std::vector<std::wstring> modes_;  // the list's entries after "Default"
};

}  // namespace kestrune::views
