// CPropPageArrayMbrs: the members of the selected set with their location,
// state and rebuild progress, read again every 3 seconds while the page is
// shown; "Remove" takes the selected member out of the set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "views/node_page.h"
#include "views/set_texts.h"

class QTimer;

namespace Ui {
class CPropPageArrayMbrs;
}

namespace kestrune::views {

class CPropPageArrayMbrs final : public CNodePage {
  Q_OBJECT

 public:
  static constexpr int kRefreshMilliseconds = 3000;

  CPropPageArrayMbrs(NodeContext& context, const NodeRef& node);
  ~CPropPageArrayMbrs() override;

  bool OnSetActive() override;
  bool OnKillActive() override;
  void OnLeaveNode() override;

  // One tick of the refresh timer: the adapter's sets read again (without
  // the full flag) and the rows brought into step with the members. Public
  // so that a test can tick after moving its virtual clock.
  void Refresh();
  // Whether the refresh timer runs, and its period.
  bool RefreshRunning() const;
  int RefreshInterval() const;

 private:
  // What the page shows of the set, copied under the model lock.
  struct Snapshot {
    bool found = false;
    ctl::SetKind kind = ctl::SetKind::kUnknown;
    std::vector<MemberRow> rows;
  };
  Snapshot Read(bool query);
  // The columns and rows anew.
  void Fill(const Snapshot& snapshot);
  // Rows kept where their member still is listed, the others dropped, new
  // members' rows inserted at their place, every cell rewritten.
  void Bring(const Snapshot& snapshot);
  void WidenColumns(const Snapshot& snapshot);
  void SetCells(int row, const MemberRow& member);
  void ShowStopRebuild(const Snapshot& snapshot);
  void OnRemove();
  void OnStopRebuild();

  std::unique_ptr<::Ui::CPropPageArrayMbrs> ui_;
  QTimer* timer_ = nullptr;
  ctl::SetKind setType_ = ctl::SetKind::kUnknown;  // of the rows shown
  bool rebuildColumn_ = false;
};

}  // namespace kestrune::views
