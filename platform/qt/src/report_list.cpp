#include "platform_qt/report_list.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace kestrune::platform_qt {

void SetUpReportList(QTreeWidget* list, Qt::Alignment titleAlignment) {
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
  list->header()->setSectionsClickable(false);
  list->header()->setSectionsMovable(false);
  list->header()->setStretchLastSection(false);
  list->header()->setDefaultAlignment(titleAlignment);
  list->setColumnCount(0);
}

}  // namespace kestrune::platform_qt
