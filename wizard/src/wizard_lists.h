// The wizard's lists: report views with centred columns, filled from rows of
// texts, and mouse clicks reported as a list control reports them.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "wizard/wizard_state.h"

class QAbstractItemView;
class QTreeWidget;

namespace kestrune::wizard {

struct Column {
  unsigned titleId;  // string table
  int width;         // pixels; widened when the title needs more
};

// The three columns of every disk list, and of the deletion page's lists.
std::vector<Column> DiskColumns();

// Single selection of whole rows, a border, headers that cannot be clicked,
// no tree decoration; exactly `wholeRows` rows high (under the header), so
// that none shows cut, whatever else the page shows.
void SetUpReportList(QTreeWidget* list, int wholeRows);
// Empties the list and deletes its columns; then inserts `columns` (centred)
// and one row per entry of `rows`.
void FillReportList(QTreeWidget* list, const std::vector<Column>& columns,
                    const std::vector<ListRow>& rows);
// The selected row, -1 for none.
int SelectedRow(const QTreeWidget* list);
// Marks a row selected without reporting it as a change.
void SelectRowQuietly(QTreeWidget* list, int row);

// Calls `clicked` once the list has taken a release of the left mouse button
// (queued), on a row or on its empty part. With `clearOnEmpty` a press on the empty part
// leaves no row selected.
class ListClicks final : public QObject {
 public:
  ListClicks(QAbstractItemView* list, bool clearOnEmpty, std::function<void()> clicked);
  // Between a press and its release: selection changes come from the mouse.
  bool MouseDown() const { return mouseDown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAbstractItemView* list_;
  // Kept apart: while the list is being destroyed its viewport still sends
  // events, and the list may no longer be asked for it.
  QObject* viewport_;
  bool clearOnEmpty_;
  std::function<void()> clicked_;
  bool mouseDown_ = false;
};

}  // namespace kestrune::wizard
