// CNodePageSheet: the property sheet embedded at the right of the
// configuration tree, holding the pages of the selected node. It has no
// buttons; Escape and Return belong to the window.
#pragma once

#include <memory>
#include <vector>

#include "platform_qt/property_sheet.h"
#include "views/node_page.h"

namespace kestrune::views {

class CNodePageSheet final : public platform_qt::CPropertySheet {
  Q_OBJECT

 public:
  explicit CNodePageSheet(QWidget* parent);
  ~CNodePageSheet() override;

  void AddNodePage(std::unique_ptr<CNodePage> page);
  CNodePage* NodePage(int index) const;
  // The page with this template number; nullptr when there is none.
  CNodePage* PageByTemplate(unsigned templateId) const;
  // Tells every page that its node is left (OnLeaveNode), once.
  void LeaveNode();

  void reject() override;

 protected:
  void OnOK() override;
  void OnCancel() override;

 private:
  bool left_ = false;
};

}  // namespace kestrune::views
