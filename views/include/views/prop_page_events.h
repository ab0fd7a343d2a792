// CPropPageEvents: the event log file, newest line first (the root node).
//
// The list is a view over the file's line index (evt::LogFileReader): only
// the rows being painted are read and decoded, so a log of hundreds of
// megabytes opens about as fast as its bytes can be scanned once, and the
// page holds two offsets a line rather than the text. The one column is 700
// pixels wide or as wide as the widest row in view, whichever is more.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageEvents;
}

namespace kestrune::views {

class EventLogModel;

// The cause code of a failed open as the page shows it: 1 unspecified, 2 file
// not found, 3 bad path, 4 too many open files, 5 access denied, 11 sharing
// violation.
unsigned LogOpenCause(int error);

class CPropPageEvents final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageEvents(NodeContext& context, const NodeRef& node);
  ~CPropPageEvents() override;

  // Rebuilt from the file on every activation, emptied when left.
  bool OnSetActive() override;
  bool OnKillActive() override;

 protected:
  // The saving direction (the event logger, after it wrote entries while the
  // page is shown) takes what was appended since.
  bool DoDataExchange(bool save) override;
  // Home and End go to the first and the last row, as in the system's list.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The column grows to the widest row in view, so that a long entry can be
  // scrolled to and read; it never shrinks while the page shows.
  void WidenToRowsInView();

  std::unique_ptr<::Ui::CPropPageEvents> ui_;
  EventLogModel* model_ = nullptr;
};

}  // namespace kestrune::views
