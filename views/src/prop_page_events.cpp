#include "views/prop_page_events.h"

#include <QAbstractTableModel>
#include <QHeaderView>
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
}

CPropPageEvents::~CPropPageEvents() = default;

bool CPropPageEvents::OnSetActive() {
  {
    platform::WaitCursor wait(Context().Ui());
    ui_->eventList->setUpdatesEnabled(false);
    const settings::AppSettings& settings = Context().Settings();
    model_->Load(settings.LogFilePath(), platform::EqualsNoCase(settings.LogFileEnabled(), L"TRUE"));
    ui_->eventList->horizontalHeader()->resizeSection(0, kColumnWidth);
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

bool CPropPageEvents::DoDataExchange(bool save) {
  if (save) model_->TakeAppended();
  return true;
}

}  // namespace kestrune::views
