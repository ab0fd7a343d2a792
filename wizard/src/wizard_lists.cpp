#include "wizard_lists.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

#include "platform_qt/qt_ui_services.h"
#include "platform_qt/report_list.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

namespace kestrune::wizard {

namespace {
// Room around a column title: the header's margins and its separator.
constexpr int kTitleRoom = 20;
}  // namespace

std::vector<Column> DiskColumns() {
  return {
      {res::kStrColumnLocation, 98}, {res::kStrColumnDiskModel, 98}, {res::kStrColumnCapacity, 98}};
}

void SetUpReportList(QTreeWidget* list, int wholeRows) {
  platform_qt::SetUpReportList(list);
  list->setFrameShape(QFrame::StyledPanel);
  // A header and a row as the list paints them, measured on a probe.
  list->setHeaderLabels({QStringLiteral("Xg")});
  auto* probe = new QTreeWidgetItem(list, {QStringLiteral("Xg")});
  const int header = list->header()->sizeHint().height();
  const int row = static_cast<const QAbstractItemView*>(list)->sizeHintForRow(0);
  delete probe;
  list->setColumnCount(0);
  list->setFixedHeight(header + wholeRows * row + 2 * list->frameWidth());
  // What the page has to spare goes below its controls.
  if (auto* page = qobject_cast<QBoxLayout*>(list->parentWidget()->layout())) {
    if (page->count() == 0 || page->itemAt(page->count() - 1)->spacerItem() == nullptr)
      page->addStretch(1);
  }
}

void FillReportList(QTreeWidget* list, const std::vector<Column>& columns,
                    const std::vector<ListRow>& rows) {
  const QSignalBlocker quiet(list);
  list->clear();
  list->setColumnCount(0);
  QStringList titles;
  for (const Column& column : columns)
    titles << platform_qt::ToQString(res::LoadString(column.titleId));
  list->setColumnCount(static_cast<int>(columns.size()));
  list->setHeaderLabels(titles);
  // A column is as wide as given, wider where its title or a text needs it,
  // so that no model number is cut.
  const QFontMetrics titleMetrics(list->header()->font());
  const QFontMetrics textMetrics(list->font());
  std::vector<int> widths;
  for (int c = 0; c < static_cast<int>(columns.size()); ++c)
    widths.push_back(std::max(columns[static_cast<std::size_t>(c)].width,
                              titleMetrics.horizontalAdvance(titles[c]) + kTitleRoom));
  for (const ListRow& row : rows) {
    auto* item = new QTreeWidgetItem(list);
    const std::wstring* texts[] = {&row.first, &row.model, &row.capacity};
    for (int c = 0; c < std::min<int>(3, static_cast<int>(columns.size())); ++c) {
      // Drives pad their model numbers with blanks; centred, they would only
      // push the text aside.
      const QString text = platform_qt::ToQString(*texts[c]).trimmed();
      item->setText(c, text);
      item->setTextAlignment(c, Qt::AlignCenter);
      auto& width = widths[static_cast<std::size_t>(c)];
      width = std::max(width, textMetrics.horizontalAdvance(text) + kTitleRoom);
    }
  }
  for (int c = 0; c < static_cast<int>(widths.size()); ++c)
    list->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

int SelectedRow(const QTreeWidget* list) {
  const QList<QTreeWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

void SelectRowQuietly(QTreeWidget* list, int row) {
  const QSignalBlocker quiet(list);
  const QSignalBlocker quietModel(list->selectionModel());
  list->clearSelection();
  if (QTreeWidgetItem* item = list->topLevelItem(row)) {
    list->setCurrentItem(item);
    item->setSelected(true);
  }
}

ListClicks::ListClicks(QAbstractItemView* list, bool clearOnEmpty, std::function<void()> clicked)
    : QObject(list),
      list_(list),
      viewport_(list->viewport()),
      clearOnEmpty_(clearOnEmpty),
      clicked_(std::move(clicked)) {
  list->viewport()->installEventFilter(this);
}

bool ListClicks::eventFilter(QObject* watched, QEvent* event) {
  if (watched != viewport_) return false;
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    mouseDown_ = true;
    if (clearOnEmpty_ && !list_->indexAt(mouse->position().toPoint()).isValid()) {
      list_->clearSelection();
      list_->setCurrentIndex(QModelIndex());
    }
  } else if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !mouseDown_) return false;
    mouseDown_ = false;
    // After the list has taken the release, as a list control reports it.
    if (clicked_) QMetaObject::invokeMethod(this, clicked_, Qt::QueuedConnection);
  }
  return false;
}

}  // namespace kestrune::wizard
