#include "views/prop_page_device_identify.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>

#include "platform_qt/qt_ui_services.h"
#include "platform_qt/report_list.h"
#include "resources/strings.h"
#include "ui_prop_page_device_identify.h"

namespace kestrune::views {

namespace {

constexpr int kColumnWidth = 36;
constexpr int kWordsPerRow = 8;
constexpr int kRows = 32;
// Room around a text in a column: the margins and the separator.
constexpr int kTextRoom = 16;

QStringList Titles() {
  QStringList titles{platform_qt::ToQString(res::LoadString(res::kStrIdentifyDataColumn))};
  for (int c = 0; c < kWordsPerRow; ++c)
    titles << platform_qt::ToQString(res::FormatString(res::kStrIdentifyOffset, c));
  return titles;
}

// As narrow as written, unless a title or a word would be cut.
int ColumnWidth(const QTreeWidget& list, const QString& title) {
  const QFontMetrics textMetrics(list.font());
  const QFontMetrics titleMetrics(list.header()->font());
  const int wordWidth = textMetrics.horizontalAdvance(QStringLiteral("0000")) + kTextRoom;
  return std::max({kColumnWidth, wordWidth, titleMetrics.horizontalAdvance(title) + kTextRoom});
}

// Every column in sight: the page asks for the room rather than hiding the
// last words. Known before the words are read, so that the window is wide
// enough from the start.
void KeepEveryColumnInSight(QTreeWidget& list) {
  int total = 0;
  for (const QString& title : Titles()) total += ColumnWidth(list, title);
  list.setMinimumWidth(total + 2 * list.frameWidth() + list.verticalScrollBar()->sizeHint().width());
}

}  // namespace

CPropPageDeviceIdentify::CPropPageDeviceIdentify(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDeviceIdentify>()) {
  SetUpForm(*ui_);
  platform_qt::SetUpReportList(ui_->identifyList, Qt::AlignLeft | Qt::AlignVCenter);
  KeepEveryColumnInSight(*ui_->identifyList);
}

CPropPageDeviceIdentify::~CPropPageDeviceIdentify() = default;

bool CPropPageDeviceIdentify::OnSetActive() {
  // Zeros stand for a node the model no longer has.
  ctl::IdentifyBytes words{};
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode found = Resolve(io.Model(), Node());
    if (Node().kind == NodeKind::Set && found.set != nullptr) words = found.set->identify;
    if (Node().kind == NodeKind::Device && found.device != nullptr) words = found.device->identify;
  }
  Empty();
  QTreeWidget* list = ui_->identifyList;
  const QStringList titles = Titles();
  list->setColumnCount(static_cast<int>(titles.size()));
  list->setHeaderLabels(titles);
  for (int r = 0; r < kRows; ++r) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, platform_qt::ToQString(res::FormatString(res::kStrIdentifyRow, 8 * r)));
    for (int c = 0; c < kWordsPerRow; ++c) {
      const auto word = static_cast<std::size_t>(kWordsPerRow * r + c);
      const auto value = static_cast<unsigned>(words[2 * word] | (words[2 * word + 1] << 8));
      item->setText(c + 1, platform_qt::ToQString(res::FormatString(res::kStrIdentifyWord, value)));
    }
  }
  for (int c = 0; c < list->columnCount(); ++c) list->setColumnWidth(c, ColumnWidth(*list, titles[c]));
  KeepEveryColumnInSight(*list);
  return CNodePage::OnSetActive();
}

bool CPropPageDeviceIdentify::OnKillActive() {
  Empty();
  return CNodePage::OnKillActive();
}

void CPropPageDeviceIdentify::Empty() {
  ui_->identifyList->clear();
  ui_->identifyList->setColumnCount(0);
}

}  // namespace kestrune::views
