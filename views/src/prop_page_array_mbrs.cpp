#include "views/prop_page_array_mbrs.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "platform/text.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/report_list.h"
#include "resources/strings.h"
#include "ui_prop_page_array_mbrs.h"

namespace kestrune::views {

namespace {

// Room around a column's title or text: the header's margins and separator.
constexpr int kTextRoom = 20;
// Where a row keeps the position of its member.
constexpr int kPositionRole = Qt::UserRole;

struct Column {
  unsigned titleId;
  int width;
};
constexpr Column kColumns[] = {{res::kStrColumnMemberIndex, 88},
                               {res::kStrColumnDeviceLocation, 98},
                               {res::kStrColumnMemberState, 62},
                               {res::kStrColumnRebuild, 62}};

}  // namespace

CPropPageArrayMbrs::CPropPageArrayMbrs(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node),
      ui_(std::make_unique<::Ui::CPropPageArrayMbrs>()),
      timer_(new QTimer(this)) {
  SetUpForm(*ui_);
  QTreeWidget* list = ui_->memberList;
  platform_qt::SetUpReportList(list);
  timer_->setObjectName(QStringLiteral("refreshTimer"));
  timer_->setInterval(kRefreshMilliseconds);
  connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
  // A selected row of a set whose members may be removed makes "Remove"
  // available; it stays so until the page is filled again.
  connect(list, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!ui_->memberList->selectedItems().isEmpty() && !IsStripedSet(setType_))
      ui_->removeButton->setEnabled(true);
  });
  connect(ui_->removeButton, &QPushButton::clicked, this, [this] { OnRemove(); });
  connect(ui_->stopRebuildButton, &QPushButton::clicked, this, [this] { OnStopRebuild(); });
}

CPropPageArrayMbrs::~CPropPageArrayMbrs() = default;

CPropPageArrayMbrs::Snapshot CPropPageArrayMbrs::Read(bool query) {
  Snapshot snapshot;
  ctl::CControllerIo& io = Context().Io();
  ctl::CControllerIo::Lock lock(io);
  if (query) io.RereadSets(Node().adapter, false);
  // Resolved after the query: the set count may have changed.
  const ResolvedNode found = Resolve(io.Model(), Node());
  if (found.set != nullptr) {
    snapshot.found = true;
    snapshot.kind = found.set->kind;
    snapshot.rows = MemberRows(*found.set, found.adapter->IsExtended());
  }
  return snapshot;
}

bool CPropPageArrayMbrs::OnSetActive() {
  Snapshot snapshot;
  {
    platform::WaitCursor wait(Context().Ui());
    snapshot = Read(false);
  }
  Fill(snapshot);
  timer_->start();
  ui_->removeButton->setEnabled(false);
  ShowStopRebuild(snapshot);
  return CNodePage::OnSetActive();
}

bool CPropPageArrayMbrs::OnKillActive() {
  timer_->stop();
  return CNodePage::OnKillActive();
}

void CPropPageArrayMbrs::OnLeaveNode() {
  timer_->stop();
}

bool CPropPageArrayMbrs::RefreshRunning() const {
  return timer_->isActive();
}

int CPropPageArrayMbrs::RefreshInterval() const {
  return timer_->interval();
}

void CPropPageArrayMbrs::Fill(const Snapshot& snapshot) {
  QTreeWidget* list = ui_->memberList;
  list->setUpdatesEnabled(false);
  {
    const QSignalBlocker quiet(list);
    list->clear();
    list->setColumnCount(0);
  }
  setType_ = snapshot.kind;
  rebuildColumn_ = !IsStripedSet(setType_);
  const int columns = rebuildColumn_ ? 4 : 3;
  QStringList titles;
  for (int c = 0; c < columns; ++c)
    titles << platform_qt::ToQString(res::LoadString(kColumns[c].titleId));
  list->setColumnCount(columns);
  list->setHeaderLabels(titles);
  for (int c = 0; c < columns; ++c) list->setColumnWidth(c, kColumns[c].width);
  WidenColumns(snapshot);
  for (const MemberRow& row : snapshot.rows) {
    list->addTopLevelItem(new QTreeWidgetItem());
    SetCells(list->topLevelItemCount() - 1, row);
  }
  list->setUpdatesEnabled(true);
}

void CPropPageArrayMbrs::WidenColumns(const Snapshot& snapshot) {
  // As wide as given, wider where a title or a text needs it; a column never
  // narrows while the rows change under the user's eyes.
  QTreeWidget* list = ui_->memberList;
  const QFontMetrics titleMetrics(list->header()->font());
  const QFontMetrics textMetrics(list->font());
  for (int c = 0; c < list->columnCount(); ++c) {
    int width = std::max(list->columnWidth(c),
                         titleMetrics.horizontalAdvance(list->headerItem()->text(c)) + kTextRoom);
    for (const MemberRow& row : snapshot.rows) {
      const std::wstring* texts[] = {&row.label, &row.location, &row.state, &row.rebuild};
      width = std::max(
          width, textMetrics.horizontalAdvance(platform_qt::ToQString(*texts[c])) + kTextRoom);
    }
    list->setColumnWidth(c, width);
  }
}

void CPropPageArrayMbrs::SetCells(int row, const MemberRow& member) {
  QTreeWidgetItem* item = ui_->memberList->topLevelItem(row);
  const std::wstring* texts[] = {&member.label, &member.location, &member.state, &member.rebuild};
  for (int c = 0; c < ui_->memberList->columnCount(); ++c) {
    item->setText(c, platform_qt::ToQString(*texts[c]));
    item->setTextAlignment(c, Qt::AlignCenter);
  }
  item->setData(0, kPositionRole, int{member.position});
}

void CPropPageArrayMbrs::Bring(const Snapshot& snapshot) {
  QTreeWidget* list = ui_->memberList;
  int row = 0;
  for (const MemberRow& member : snapshot.rows) {
    // The member's row further down, if it has one: rows above it stand for
    // members no longer listed.
    int found = -1;
    for (int r = row; r < list->topLevelItemCount(); ++r) {
      if (list->topLevelItem(r)->data(0, kPositionRole).toInt() == member.position) {
        found = r;
        break;
      }
    }
    if (found < 0) {
      list->insertTopLevelItem(row, new QTreeWidgetItem());
    } else {
      for (int r = found; r > row; --r) delete list->takeTopLevelItem(row);
    }
    SetCells(row, member);
    ++row;
  }
  while (list->topLevelItemCount() > row) delete list->takeTopLevelItem(row);
}

void CPropPageArrayMbrs::Refresh() {
  const Snapshot snapshot = Read(true);
  // Another kind of set in the slot (after a rediscovery) needs other columns.
  if (IsStripedSet(snapshot.kind) != !rebuildColumn_) {
    Fill(snapshot);
    ui_->removeButton->setEnabled(false);
  } else {
    setType_ = snapshot.kind;
    Bring(snapshot);
    WidenColumns(snapshot);
  }
  ShowStopRebuild(snapshot);
}

void CPropPageArrayMbrs::ShowStopRebuild(const Snapshot& snapshot) {
  const bool rebuilding = std::any_of(snapshot.rows.begin(), snapshot.rows.end(),
                                      [](const MemberRow& row) { return row.rebuilding; });
  const bool shown =
      rebuilding && settings::AppSettings::SwitchOn(Context().Settings().DebugModeEnabled());
  ui_->stopRebuildButton->setVisible(shown);
  ui_->stopRebuildButton->setEnabled(shown);
}

void CPropPageArrayMbrs::OnRemove() {
  const QList<QTreeWidgetItem*> selected = ui_->memberList->selectedItems();
  if (selected.isEmpty()) {
    Context().Ui().MessageBox(res::LoadString(res::kStrSelectMemberFirst),
                              res::LoadString(res::kStrDeleteMemberCaption),
                              platform::MsgButtons::Ok, platform::MsgIcon::Error);
    return;
  }
  // By the row's member position, not its label: a translated label may not
  // tell the members apart.
  const QVariant position = selected.front()->data(0, kPositionRole);
  const std::optional<std::uint8_t> index =
      position.isValid() ? RemovableMember(setType_, static_cast<std::uint8_t>(position.toInt()))
                         : std::nullopt;
  {
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    // A row that names no member, or a set that is gone, removes nothing;
    // a refusal is shown by the request layer once the lock is let go.
    if (index)
      io.RemoveSetMember(Node().adapter, Node().set, *index);
    else
      io.RereadSets(Node().adapter, true);
  }
  Context().ShowPage(static_cast<unsigned>(TemplateId()));
}

void CPropPageArrayMbrs::OnStopRebuild() {
  // No adapter driver has a command that stops a rebuild: say so rather
  // than do nothing or send what the driver does not know.
  Context().Ui().MessageBox(res::LoadString(res::kStrCannotStopRebuild),
                            res::LoadString(res::kStrStopRebuildCaption), platform::MsgButtons::Ok,
                            platform::MsgIcon::Information);
}

}  // namespace kestrune::views
