#include "views/prop_page_events.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <cerrno>
#include <optional>

#include "events/log_reader.h"
#include "platform/text.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_prop_page_events.h"

namespace kestrune::views {

namespace {

constexpr int kColumnWidth = 700;
// A row shows at most this much of a line (a line without a break for
// megabytes is cut, not painted whole).
constexpr std::size_t kMaxRowChars = 4096;

}  // namespace

unsigned LogOpenCause(int error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EINVAL:  // not a regular file
      return 5;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
      return 11;
    default:
      return 1;
  }
}

// One column; row 0 is the file's last line. Either the file's lines or one
// error row.
class EventLogModel final : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent) const override {
    if (parent.isValid()) return 0;
    if (error_) return 1;
    return static_cast<int>(shown_);
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() || !columnShown_ ? 0 : 1;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    if (error_) return *error_;
    if (!reader_) return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= shown_) return {};
    std::wstring line = reader_->Line(shown_ - 1 - row, kMaxRowChars);
    for (wchar_t& c : line) {
      if (c == L'\t') c = L' ';
    }
    return platform_qt::ToQString(line);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
      return platform_qt::ToQString(res::LoadString(res::kStrEventsColumn));
    return {};
  }

  // No rows and no column.
  void Clear() {
    beginResetModel();
    reader_.reset();
    shown_ = 0;
    error_.reset();
    columnShown_ = false;
    endResetModel();
  }

  // The column, and the file's lines, or the error row when it cannot be
  // opened and logging is on, or nothing.
  void Load(const std::wstring& path, bool loggingOn) {
    beginResetModel();
    columnShown_ = true;
    error_.reset();
    shown_ = 0;
    reader_ = std::make_unique<evt::LogFileReader>(platform::ToUtf8(path));
    if (const int failure = reader_->Open(); failure == 0) {
      shown_ = reader_->LineCount();
    } else {
      reader_.reset();
      if (loggingOn) {
        error_ = platform_qt::ToQString(
            res::FormatString(res::kStrLogFileOpenFailed, LogOpenCause(failure)));
      }
    }
    endResetModel();
  }

  // What was appended since, at the top; the list anew when the file was
  // purged or replaced.
  void TakeAppended() {
    if (!reader_) return;
    const std::size_t before = shown_;
    bool restarted = false;
    if (reader_->Refresh(restarted) != 0 || restarted) {
      beginResetModel();
      shown_ = reader_->LineCount();
      endResetModel();
      return;
    }
    const std::size_t after = reader_->LineCount();
    if (after > before) {
      // Rows are counted from the end of the file: the new lines come first.
      beginInsertRows({}, 0, static_cast<int>(after - before) - 1);
      shown_ = after;
      endInsertRows();
    }
    // The line that was last may have grown (it had no line break yet).
    const int formerLast = static_cast<int>(after - before);
    if (before > 0) emit dataChanged(index(formerLast, 0), index(formerLast, 0));
  }

 private:
  std::unique_ptr<evt::LogFileReader> reader_;
  std::size_t shown_ = 0;  // lines the view knows of
  std::optional<QString> error_;
  bool columnShown_ = false;
};

CPropPageEvents::CPropPageEvents(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageEvents>()) {
  SetUpForm(*ui_);
  model_ = new EventLogModel(this);
  QTableView* list = ui_->eventList;
  list->setModel(model_);
  list->verticalHeader()->hide();
  // Every row one text line high: the view need not measure 600,000 rows.
  list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
  list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setShowGrid(false);
  list->setWordWrap(false);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->installEventFilter(this);
  connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { WidenToRowsInView(); });
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { WidenToRowsInView(); });
  connect(model_, &QAbstractItemModel::dataChanged, this, [this] { WidenToRowsInView(); });
}

CPropPageEvents::~CPropPageEvents() = default;

bool CPropPageEvents::OnSetActive() {
  {
    platform::WaitCursor wait(Context().Ui());
    ui_->eventList->setUpdatesEnabled(false);
    const settings::AppSettings& settings = Context().Settings();
    model_->Load(settings.LogFilePath(),
                 settings::AppSettings::SwitchOn(settings.LogFileEnabled()));
    ui_->eventList->horizontalHeader()->resizeSection(0, kColumnWidth);
    WidenToRowsInView();
    ui_->eventList->setUpdatesEnabled(true);
    ui_->eventList->viewport()->update();
  }
  return CNodePage::OnSetActive();
}

bool CPropPageEvents::OnKillActive() {
  const bool left = CNodePage::OnKillActive();
  if (left) model_->Clear();
  return left;
}

void CPropPageEvents::WidenToRowsInView() {
  QTableView* list = ui_->eventList;
  if (!list->isVisible() || model_->columnCount({}) == 0) return;
  const int first = list->rowAt(0);
  const int rowHeight = list->verticalHeader()->defaultSectionSize();
  if (first < 0 || rowHeight <= 0) return;
  const int last =
      std::min(model_->rowCount({}) - 1, first + list->viewport()->height() / rowHeight + 1);
  // Measured as the delegate paints them, margins included.
  int widest = 0;
  for (int row = first; row <= last; ++row)
    widest = std::max(widest, list->sizeHintForIndex(model_->index(row, 0)).width());
  if (widest > list->columnWidth(0)) list->horizontalHeader()->resizeSection(0, widest);
}

bool CPropPageEvents::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->eventList &&
      (event->type() == QEvent::Show || event->type() == QEvent::Resize)) {
    // Once the view has laid out the rows it shows.
    QMetaObject::invokeMethod(
        this, [this] { WidenToRowsInView(); }, Qt::QueuedConnection);
  }
  if (watched == ui_->eventList && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_End || key->key() == Qt::Key_Home) &&
        (key->modifiers() & Qt::ControlModifier) == 0) {
      // Without a current row the table would go to the first one.
      QTableView* list = ui_->eventList;
      if (!list->currentIndex().isValid() && model_->rowCount({}) > 0)
        list->selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::NoUpdate);
      // The table's own Home and End go along the row; with Ctrl they go to
      // the first and the last row.
      QKeyEvent rowWise(QEvent::KeyPress, key->key(), key->modifiers() | Qt::ControlModifier,
                        key->text(), key->isAutoRepeat(), static_cast<quint16>(key->count()));
      QCoreApplication::sendEvent(ui_->eventList, &rowWise);
      return true;
    }
  }
  return CNodePage::eventFilter(watched, event);
}

bool CPropPageEvents::DoDataExchange(bool save) {
  if (save) model_->TakeAppended();
  return true;
}

}  // namespace kestrune::views
