#include "views/node_page_sheet.h"

namespace kestrune::views {

CNodePageSheet::CNodePageSheet(QWidget* parent) : CPropertySheet(QString(), parent, Buttons::None) {
  setObjectName(QStringLiteral("CNodePageSheet"));
  // A child of the window, not a dialog of its own.
  setWindowFlags(Qt::Widget);
  setFocusPolicy(Qt::NoFocus);
}

CNodePageSheet::~CNodePageSheet() {
  LeaveNode();
}

void CNodePageSheet::AddNodePage(std::unique_ptr<CNodePage> page) {
  AddPage(page.release());
}

CNodePage* CNodePageSheet::NodePage(int index) const {
  return static_cast<CNodePage*>(Page(index));
}

CNodePage* CNodePageSheet::PageByTemplate(unsigned templateId) const {
  for (int i = 0; i < PageCount(); ++i) {
    if (Page(i)->TemplateId() == templateId) return NodePage(i);
  }
  return nullptr;
}

void CNodePageSheet::LeaveNode() {
  if (left_) return;
  left_ = true;
  for (int i = 0; i < PageCount(); ++i) NodePage(i)->OnLeaveNode();
}

// The embedded sheet never closes by itself.
void CNodePageSheet::reject() {}
void CNodePageSheet::OnOK() {}
void CNodePageSheet::OnCancel() {}

}  // namespace kestrune::views
