// CConfigTreeDlg: the configuration window. A tree of the computer, its
// adapters, channels, devices and sets on the left; the pages of the selected
// node in an embedded sheet on the right; the main menu and the toolbar,
// whose commands go on to the main frame. Disks are dragged from the tree
// onto a set's pages to join the set (the platform's drag and drop, with a
// data type of the program's own), and a free disk's system device is
// disabled or enabled from its right-click menu.
//
// Everything here runs on the user-interface thread. The event logger's
// calls reach it through the main frame, which carries them over.
#pragma once

#include <QCursor>
#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "platform/ui_services.h"
#include "platform_qt/command_table.h"
#include "settings/app_settings.h"
#include "views/node_page.h"
#include "views/node_page_sheet.h"
#include "views/node_pages.h"
#include "views/node_ref.h"
#include "views/tree_shape.h"

class QDropEvent;
class QMenu;
class QMenuBar;
class QMouseEvent;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class CConfigTreeDlg;
}

namespace kestrune::views {

// The popup menu's one command.
inline constexpr unsigned kCmdDeviceState = 10;
// The data type of a disk dragged from the tree: its node as
// "adapter,channel,device".
inline constexpr char kDiskMimeType[] = "application/x-kestrune-disk";
// Where the drag image sits from the pointer (its top-left corner).
inline constexpr QPoint kDragImageOffset(16, 16);

struct ConfigViewServices {
  ctl::CControllerIo* io = nullptr;
  settings::AppSettings* settings = nullptr;
  platform::UiServices* ui = nullptr;
  // "Kestrune" or "Norvasse": the title is "Configuration for " and this.
  std::wstring windowTitleName;
  // The RAID wizard is offered: the "&Raid" menu and its toolbar button.
  bool wizardOffered = false;
  // Where the menu's and toolbar's commands go (the main frame).
  platform_qt::CommandTarget* commandOwner = nullptr;
  QCursor dropAllowedCursor{Qt::DragCopyCursor};
  QCursor noDropCursor{Qt::ForbiddenCursor};
  QIcon smallIcon;
  // Shows a popup menu at a screen point and answers the chosen command, or
  // nothing. Empty: the menu runs itself (a nested event loop). Tests answer
  // here.
  std::function<std::optional<unsigned>(QMenu& menu, QPoint screenPos)> runPopupMenu;
};

class CConfigTreeDlg final : public QDialog, public platform_qt::CommandTarget, public NodeContext {
  Q_OBJECT

 public:
  // Builds the whole tree from the model and selects the root.
  explicit CConfigTreeDlg(ConfigViewServices services, QWidget* parent = nullptr);
  ~CConfigTreeDlg() override;

  // NodeContext.
  ctl::CControllerIo& Io() override { return *services_.io; }
  settings::AppSettings& Settings() override { return *services_.settings; }
  platform::UiServices& Ui() override { return *services_.ui; }
  std::wstring WindowCaption() const override;
  void RebuildAdapterBranch(std::uint32_t adapterNumber) override;
  bool ShowPage(unsigned templateId) override;

  // The tree and its items.
  QTreeWidget* Tree() const;
  QMenuBar* MenuBar() const { return menuBar_; }
  QToolBar* ToolBar() const { return toolBar_; }
  QMenu* PopupMenu() const { return popupMenu_; }
  // The sheet of the node shown now; null only while it is being replaced.
  CNodePageSheet* Sheet() const { return sheet_; }
  // The node whose pages the sheet shows (the current item's).
  const NodeRef& CurrentNode() const { return currentNode_; }
  QTreeWidgetItem* ItemOf(const NodeRef& node) const;
  static NodeRef NodeOf(const QTreeWidgetItem* item);
  static int ImageOf(const QTreeWidgetItem* item);
  // Selects the node's item, as a click does; false when it has none.
  bool SelectNode(const NodeRef& node);

  // What the event logger asks, carried over by the main frame.
  // The adapter's branch again from the model (the logger re-read it): its
  // device items anew, its set items brought into step.
  void RebuildAdapterBranchFromModel(std::uint32_t adapterNumber);
  // The current node's pages anew, on the tab shown before.
  void ReselectCurrentItem();
  // The branch of every adapter that has none (after a rediscovery).
  void AddAllAdapters();
  // Selects the root and drops the adapter's branch / every adapter branch
  // (the model lost its adapters).
  void RemoveAdapterBranch(std::uint32_t adapterNumber);
  void RemoveAllAdapters();
  // The saving data exchange of the active page (the Events page takes the
  // lines appended to the log since).
  void ExchangeActivePageData();
  bool EventsPageShown() const { return eventsPageShown_; }
  // UM_POLLREFRESH: the RAID adapters' spare drives re-read, and every item
  // shown as a spare drive whose device is no longer one shown as it is now.
  void OnPollRefresh();

  // Whether `dragged` may be dragged now: a set node is selected (its pages
  // show) and the item is a disk, free, in use or spare, under a channel.
  bool CanDrag(const NodeRef& dragged) const;
  // A drag of a disk runs (the platform's drag loop is on the stack).
  bool Dragging() const { return dragging_; }
  // Where an item's icon and label are, in the tree viewport's coordinates:
  // what a press or right-click must hit.
  QRect IconAndLabelRect(QTreeWidgetItem* item) const;

  // The right-click on an item's icon or label: the item is selected, and a
  // free disk of an extended adapter gets the menu "Disable" or "Enable" for
  // its system device.
  void ContextMenuOn(QTreeWidgetItem* item, QPoint screenPos);

 signals:
  void eventsPageShownChanged(bool shown);

 protected:
  bool HandleCommand(unsigned id) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildTree();
  QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const TreeItemShape& shape);
  void AddBranch(const TreeItemShape& branch);
  QTreeWidgetItem* AdapterItem(std::uint32_t adapterNumber) const;
  void OnCurrentItemChanged(QTreeWidgetItem* current);
  // Replaces the sheet with one for `node`, on the tab `startIndex`.
  void ShowNode(const NodeRef& node, int startIndex = 0);
  // After items were deleted: the current item is the node's, or its
  // nearest ancestor's; the sheet follows when the node changed.
  void RestoreCurrent(const NodeRef& node);
  // Makes `target`, or its nearest ancestor that has an item, the current
  // item without the selection signal; `target` becomes that node. False
  // when not even the computer has an item.
  bool SelectNearestItem(NodeRef& target);
  PageConditions Conditions();
  void UpdateEventsPageShown();
  void FitSheet();
  void FitSheetArea(QSize need);
  // What the pages of the nodes in the tree need, measured unfilled.
  QSize LargestPagesNeed();
  void DisposeSheet();
  void SetImage(QTreeWidgetItem* item, int image);
  bool OnIconOrLabel(QTreeWidgetItem* item, QPoint viewportPos) const;
  bool TreeMouseEvent(QMouseEvent* mouse);
  bool SheetDragEvent(QEvent* event);
  bool AcceptsDrop(const QDropEvent& event) const;
  // Runs the drag of the pressed disk to its end, then makes the drop.
  void RunDrag();
  void Drop(const NodeRef& disk);

  ConfigViewServices services_;
  std::unique_ptr<::Ui::CConfigTreeDlg> ui_;
  QMenuBar* menuBar_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QMenu* popupMenu_ = nullptr;
  QPointer<CNodePageSheet> sheet_;
  NodeRef currentNode_;
  bool eventsPageShown_ = false;
  // What the sheet took when the window was first shown: room for the
  // largest page of any node.
  QSize openingArea_;
  std::array<QIcon, 13> images_;

  // Drag state. The pressed disk is kept as its node: a rebuild meanwhile
  // may replace its item. A press on a disk that may be dragged waits for
  // the pointer to go the platform's start distance (a drag) or for the
  // release (a click, which selects it); the tree sees neither meanwhile.
  bool pressPending_ = false;
  QPoint pressPos_;
  NodeRef pressed_;
  bool dragging_ = false;
  // A drag ended (dropped or cancelled) while the button may still be down.
  bool spentGesture_ = false;
  // The disk the drag was let go over the sheet with; dropped once the drag
  // loop has ended.
  std::optional<NodeRef> dropped_;
};

}  // namespace kestrune::views
