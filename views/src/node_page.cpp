#include "views/node_page.h"

#include <QLabel>

#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"

namespace kestrune::views {

CNodePage::CNodePage(NodeContext& context, const NodeRef& node) : context_(context), node_(node) {}

CNodePage::~CNodePage() = default;

void CNodePage::OnLeaveNode() {}

void CNodePage::SetValue(QLabel* label, const std::wstring& text) {
  label->setText(platform_qt::ToQString(text));
}

void CNodePage::ShowPicture(QLabel* label, unsigned bitmapId) {
  label->setPixmap(platform_qt::LoadBitmap(bitmapId));
}

}  // namespace kestrune::views
