#include "views/config_tree_dlg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

#include "platform/text.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_config_tree_dlg.h"

namespace kestrune::views {

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr unsigned kEventsTemplate = 1016;
constexpr unsigned kMembersTemplate = 1015;
// Where the drag image sits from the pointer.
constexpr QPoint kDragImageOffset(16, 32);
// The top-level menu the RAID wizard has.
constexpr int kRaidMenuPosition = 2;

using platform_qt::ToQString;

bool IsMember(const ctl::AdapterRecord& adapter, std::uint32_t deviceIndex) {
  const std::size_t sets = std::min<std::size_t>(adapter.setCount, ctl::kMaxSets);
  for (std::size_t s = 0; s < sets; ++s) {
    const ctl::SetRecord& set = adapter.sets[s];
    const std::size_t members = std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
    for (std::size_t k = 0; k < members; ++k) {
      if (set.members[k].deviceIndex == deviceIndex) return true;
    }
  }
  return false;
}

bool Draggable(int image) {
  return image == kImageDiskFree || image == kImageDiskInUse || image == kImageSpare;
}

// Every item below `item` (not itself), depth first.
void ForEachBelow(QTreeWidgetItem* item, const std::function<void(QTreeWidgetItem*)>& visit) {
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem* child = item->child(i);
    visit(child);
    ForEachBelow(child, visit);
  }
}

}  // namespace

CConfigTreeDlg::CConfigTreeDlg(ConfigViewServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      ui_(std::make_unique<::Ui::CConfigTreeDlg>()) {
  platform_qt::SetUpForm(*ui_, this);
  // A window of its own with a taskbar button: caption, system menu and
  // minimise box.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(ToQString(res::LoadString(res::kStrConfigurationFor) + services_.windowTitleName));
  if (!services_.smallIcon.isNull()) setWindowIcon(services_.smallIcon);
  SetNextCommandTarget(services_.commandOwner);

  menuBar_ = new QMenuBar(this);
  menuBar_->setObjectName(QStringLiteral("menuBar"));
  platform_qt::FillMenuBar(menuBar_, res::kMenuMain, this);
  layout()->setMenuBar(menuBar_);
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  platform_qt::FillToolBar(toolBar_, res::kToolbarMain, this);
  static_cast<QVBoxLayout*>(layout())->insertWidget(0, toolBar_);

  for (std::size_t i = 0; i < images_.size(); ++i)
    images_[i] = platform_qt::LoadIcon(kTreeImageIcons[i]);

  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName(QStringLiteral("devicePopupMenu"));
  popupMenu_->addAction(platform_qt::MakeAction(popupMenu_, kCmdDeviceState,
                                                ToQString(res::LoadString(res::kStrEnable))));

  if (!services_.wizardOffered) {
    if (auto* tool = platform_qt::FindById<QAction>(toolBar_, res::kCmdRaidWizardTool))
      tool->setEnabled(false);
    const QList<QAction*> menus = menuBar_->actions();
    if (menus.size() > kRaidMenuPosition) {
      QAction* raid = menus[kRaidMenuPosition];
      menuBar_->removeAction(raid);
      delete raid->menu();
    }
  }

  QTreeWidget* tree = ui_->configTree;
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setIconSize(QSize(16, 16));
  connect(tree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
  connect(tree, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
    QTreeWidgetItem* item = Tree()->itemAt(pos);
    if (item != nullptr && OnIconOrLabel(item, pos))
      ContextMenuOn(item, Tree()->viewport()->mapToGlobal(pos));
  });
  tree->viewport()->installEventFilter(this);

  BuildTree();
  platform_qt::FitToTexts(this);
}

CConfigTreeDlg::~CConfigTreeDlg() {
  CancelDrag();
  // The pages reach this window while they leave their node: before its
  // members go.
  if (sheet_) {
    sheet_->LeaveNode();
    delete sheet_.data();
  }
}

std::wstring CConfigTreeDlg::WindowCaption() const {
  return platform_qt::ToWString(windowTitle());
}

QTreeWidget* CConfigTreeDlg::Tree() const {
  return ui_->configTree;
}

bool CConfigTreeDlg::HandleCommand(unsigned id) {
  // The menu's and toolbar's commands all belong to the main frame and the
  // application.
  static_cast<void>(id);
  return false;
}

// ---- the tree --------------------------------------------------------------

NodeRef CConfigTreeDlg::NodeOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return NodeRef::Computer();
  return item->data(0, kNodeRole).value<NodeRef>();
}

int CConfigTreeDlg::ImageOf(const QTreeWidgetItem* item) {
  return item == nullptr ? -1 : item->data(0, kImageRole).toInt();
}

void CConfigTreeDlg::SetImage(QTreeWidgetItem* item, int image) {
  if (image < 0 || static_cast<std::size_t>(image) >= images_.size()) return;
  item->setData(0, kImageRole, image);
  item->setIcon(0, images_[static_cast<std::size_t>(image)]);
}

QTreeWidgetItem* CConfigTreeDlg::ItemOf(const NodeRef& node) const {
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  if (root == nullptr) return nullptr;
  if (node.kind == NodeKind::Computer) return root;
  QTreeWidgetItem* found = nullptr;
  ForEachBelow(root, [&](QTreeWidgetItem* item) {
    if (found == nullptr && NodeOf(item) == node) found = item;
  });
  return found;
}

QTreeWidgetItem* CConfigTreeDlg::AdapterItem(std::uint32_t adapterNumber) const {
  return ItemOf(NodeRef::Adapter(adapterNumber));
}

bool CConfigTreeDlg::SelectNode(const NodeRef& node) {
  QTreeWidgetItem* item = ItemOf(node);
  if (item == nullptr) return false;
  if (Tree()->currentItem() == item) {
    if (!(currentNode_ == node) || !sheet_) ShowNode(node);
    return true;
  }
  Tree()->setCurrentItem(item);
  return true;
}

QTreeWidgetItem* CConfigTreeDlg::AddItem(QTreeWidgetItem* parent, const TreeItemShape& shape) {
  auto* item = new QTreeWidgetItem();
  item->setText(0, ToQString(shape.label));
  item->setData(0, kNodeRole, QVariant::fromValue(shape.node));
  SetImage(item, shape.image);
  if (parent == nullptr)
    Tree()->addTopLevelItem(item);
  else
    parent->addChild(item);
  for (const TreeItemShape& child : shape.children) AddItem(item, child);
  return item;
}

void CConfigTreeDlg::AddBranch(const TreeItemShape& branch) {
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  if (root == nullptr) return;
  QTreeWidgetItem* adapter = AddItem(root, branch);
  root->setExpanded(true);
  adapter->setExpanded(true);
  for (int i = 0; i < adapter->childCount(); ++i) adapter->child(i)->setExpanded(true);
}

void CConfigTreeDlg::BuildTree() {
  ctl::ComputerInfo computer;
  std::vector<TreeItemShape> branches;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ctl::ConfigurationModel& model = Io().Model();
    computer = model.computer;
    for (std::uint32_t n = 0; n < model.AdapterCount(); ++n) {
      if (auto branch = AdapterBranchShape(model, n)) branches.push_back(std::move(*branch));
    }
  }
  {
    const QSignalBlocker blocker(Tree());
    Tree()->clear();
    QTreeWidgetItem* root =
        AddItem(nullptr, {NodeRef::Computer(), RootLabel(computer), kImageComputer, {}});
    for (const TreeItemShape& branch : branches) AddBranch(branch);
    root->setExpanded(true);
    Tree()->setCurrentItem(root);
  }
  ShowNode(NodeRef::Computer());
}

void CConfigTreeDlg::OnCurrentItemChanged(QTreeWidgetItem* current) {
  if (current == nullptr) return;
  ShowNode(NodeOf(current));
}

PageConditions CConfigTreeDlg::Conditions() {
  ctl::CControllerIo::Lock lock(Io());
  return {Io().Model().ntFamily, Io().Model().extendedNaming};
}

void CConfigTreeDlg::DisposeSheet() {
  if (!sheet_) return;
  CNodePageSheet* old = sheet_;
  sheet_ = nullptr;
  old->LeaveNode();
  old->hide();
  ui_->sheetLayout->removeWidget(old);
  // Later, not now: a page whose handler is on the stack (waiting in a box,
  // which lets the logger's rebuild in) must outlive that handler.
  old->deleteLater();
}

void CConfigTreeDlg::ShowNode(const NodeRef& node, int startIndex) {
  DisposeSheet();
  currentNode_ = node;
  auto* sheet = new CNodePageSheet(ui_->sheetHost);
  sheet->SetUiServices(services_.ui);
  for (auto& page : MakeNodePages(*this, node, Conditions())) sheet->AddNodePage(std::move(page));
  if (startIndex > 0 && startIndex < sheet->PageCount()) sheet->SetActivePage(startIndex);
  connect(sheet, &platform_qt::CPropertySheet::ActivePageChanged, this, [this] {
    UpdateEventsPageShown();
    FitSheet();
  });
  ui_->sheetLayout->addWidget(sheet);
  sheet_ = sheet;
  sheet->show();
  // The window grows at once where the new pages need more room.
  FitSheet();
  UpdateEventsPageShown();
  Tree()->setFocus();
}

void CConfigTreeDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FitSheet();
}

void CConfigTreeDlg::FitSheet() {
  if (!sheet_ || !isVisible()) return;
  // The page filled its values on showing; the layout requests that posted
  // go round now (page, stack, sheet), so that the sheet knows its size.
  for (int round = 0; round < 3; ++round)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  GrowSheetArea(sheet_->minimumSizeHint());
}

void CConfigTreeDlg::GrowSheetArea(QSize need) {
  // Only ever grows: the window keeps its size while the user walks the tree
  // instead of jumping with every node.
  const QSize now = ui_->sheetHost->minimumSize();
  if (now.expandedTo(need) == now) return;
  ui_->sheetHost->setMinimumSize(now.expandedTo(need));
  layout()->activate();
  platform_qt::FitToTexts(this);
}

void CConfigTreeDlg::UpdateEventsPageShown() {
  const platform_qt::CPropertyPage* page = sheet_ ? sheet_->ActivePage() : nullptr;
  const bool shown = page != nullptr && page->TemplateId() == kEventsTemplate;
  if (shown == eventsPageShown_) return;
  eventsPageShown_ = shown;
  emit eventsPageShownChanged(shown);
}

bool CConfigTreeDlg::SelectNearestItem(NodeRef& target) {
  QTreeWidgetItem* item = ItemOf(target);
  while (item == nullptr && target.kind != NodeKind::Computer) {
    target = target.Parent();
    item = ItemOf(target);
  }
  if (item == nullptr) return false;
  const QSignalBlocker blocker(Tree());
  Tree()->setCurrentItem(item);
  return true;
}

void CConfigTreeDlg::RestoreCurrent(const NodeRef& node) {
  NodeRef target = node;
  if (!SelectNearestItem(target)) return;
  if (!(target == currentNode_) || !sheet_) ShowNode(target);
}

bool CConfigTreeDlg::ShowPage(unsigned templateId) {
  if (!sheet_) return false;
  CNodePage* page = sheet_->PageByTemplate(templateId);
  if (page == nullptr) return false;
  if (sheet_->ActivePage() == page) return page->OnSetActive();
  return sheet_->SetActivePage(page);
}

// ---- branches --------------------------------------------------------------

void CConfigTreeDlg::RebuildAdapterBranch(std::uint32_t adapterNumber) {
  {
    ctl::CControllerIo::Lock lock(Io());
    if (ctl::AdapterRecord* adapter = Io().Model().Adapter(adapterNumber)) {
      Io().QueryAdapterInfo(*adapter);
      Io().QueryDeviceInfo(*adapter);
      if (adapter->IsRaidChip()) {
        Io().QuerySpareDrives(*adapter);
        Io().QuerySets(*adapter, true);
      }
    }
  }
  RebuildAdapterBranchFromModel(adapterNumber);
}

void CConfigTreeDlg::RebuildAdapterBranchFromModel(std::uint32_t adapterNumber) {
  std::optional<TreeItemShape> branch;
  {
    ctl::CControllerIo::Lock lock(Io());
    branch = AdapterBranchShape(Io().Model(), adapterNumber);
  }
  QTreeWidgetItem* adapterItem = AdapterItem(adapterNumber);
  if (!branch) {
    if (adapterItem != nullptr) RemoveAdapterBranch(adapterNumber);
    return;
  }
  if (adapterItem == nullptr) {
    const QSignalBlocker blocker(Tree());
    AddBranch(*branch);
    return;
  }
  const NodeRef keep = currentNode_;
  {
    const QSignalBlocker blocker(Tree());
    adapterItem->setText(0, ToQString(branch->label));
    for (const TreeItemShape& child : branch->children) {
      QTreeWidgetItem* childItem = nullptr;
      for (int i = 0; i < adapterItem->childCount() && childItem == nullptr; ++i) {
        if (NodeOf(adapterItem->child(i)) == child.node) childItem = adapterItem->child(i);
      }
      if (childItem == nullptr) {
        childItem = AddItem(adapterItem, {child.node, child.label, child.image, {}});
      }
      // The device items are made anew; the sets are brought into step with
      // the model the same way.
      qDeleteAll(childItem->takeChildren());
      for (const TreeItemShape& grandChild : child.children) AddItem(childItem, grandChild);
      childItem->setExpanded(true);
    }
    adapterItem->setExpanded(true);
  }
  RestoreCurrent(keep);
}

void CConfigTreeDlg::ReselectCurrentItem() {
  const int tab = sheet_ ? std::max(sheet_->ActiveIndex(), 0) : 0;
  NodeRef target = currentNode_;
  if (!SelectNearestItem(target)) return;
  ShowNode(target, target == currentNode_ ? tab : 0);
}

void CConfigTreeDlg::AddAllAdapters() {
  std::vector<TreeItemShape> branches;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ctl::ConfigurationModel& model = Io().Model();
    for (std::uint32_t n = 0; n < model.AdapterCount(); ++n) {
      if (AdapterItem(n) != nullptr) continue;
      if (auto branch = AdapterBranchShape(model, n)) branches.push_back(std::move(*branch));
    }
  }
  const QSignalBlocker blocker(Tree());
  for (const TreeItemShape& branch : branches) AddBranch(branch);
}

void CConfigTreeDlg::RemoveAdapterBranch(std::uint32_t adapterNumber) {
  SelectNode(NodeRef::Computer());
  QTreeWidgetItem* item = AdapterItem(adapterNumber);
  if (item == nullptr) return;
  const QSignalBlocker blocker(Tree());
  qDeleteAll(item->takeChildren());
  delete item;
}

void CConfigTreeDlg::RemoveAllAdapters() {
  SelectNode(NodeRef::Computer());
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  if (root == nullptr) return;
  const QSignalBlocker blocker(Tree());
  qDeleteAll(root->takeChildren());
}

void CConfigTreeDlg::ExchangeActivePageData() {
  if (!sheet_) return;
  if (platform_qt::CPropertyPage* page = sheet_->ActivePage()) page->UpdateData(true);
}

void CConfigTreeDlg::OnPollRefresh() {
  {
    ctl::CControllerIo::Lock lock(Io());
    ctl::ConfigurationModel& model = Io().Model();
    for (std::uint32_t n = 0; n < model.AdapterCount(); ++n) {
      ctl::AdapterRecord* adapter = model.Adapter(n);
      if (adapter != nullptr && adapter->IsRaidChip()) Io().QuerySpareDrives(*adapter);
    }
  }
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  if (root == nullptr) return;
  ForEachBelow(root, [this](QTreeWidgetItem* item) {
    if (ImageOf(item) != kImageSpare || NodeOf(item).kind != NodeKind::Device) return;
    bool stillSpare = true;
    {
      ctl::CControllerIo::Lock lock(Io());
      const ResolvedNode found = Resolve(Io().Model(), NodeOf(item));
      stillSpare = found.device != nullptr && found.device->spare != 0;
    }
    // Only the spare list was read again: the item shows a plain disk until
    // its branch is rebuilt.
    if (!stillSpare) SetImage(item, kImageDiskFree);
  });
}

// ---- drag and drop ---------------------------------------------------------

QPoint CConfigTreeDlg::ToWindow(QWidget* from, QPoint pos) const {
  return from->mapTo(this, pos);
}

bool CConfigTreeDlg::BeginDrag(const NodeRef& dragged, QPoint windowPos) {
  if (dragging_) return false;
  // A set's pages must be showing, and the item must be a disk (free, in use
  // or spare) under one of its adapter's channels. The disk's adapter need
  // not be the set's: the driver decides.
  if (currentNode_.kind != NodeKind::Set || dragged.kind != NodeKind::Device) return false;
  QTreeWidgetItem* item = ItemOf(dragged);
  if (item == nullptr || !Draggable(ImageOf(item))) return false;
  if (NodeOf(item->parent()) != NodeRef::Channel(dragged.adapter, dragged.channel)) return false;

  dragged_ = dragged;
  dragging_ = true;
  dropAllowed_ = false;
  dragImage_ = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
  dragImage_->setObjectName(QStringLiteral("dragImage"));
  dragImage_->setAttribute(Qt::WA_TransparentForMouseEvents);
  dragImage_->setAttribute(Qt::WA_ShowWithoutActivating);
  dragImage_->setPixmap(Tree()->viewport()->grab(Tree()->visualItemRect(item)));
  dragImage_->move(mapToGlobal(windowPos + QPoint(16, 16)));
  dragImage_->show();
  QApplication::setOverrideCursor(services_.noDropCursor);
  Tree()->viewport()->update();
  return true;
}

void CConfigTreeDlg::DragMove(QPoint windowPos) {
  if (!dragging_) return;
  if (dragImage_ != nullptr) dragImage_->move(mapToGlobal(windowPos + kDragImageOffset));
  QWidget* under = childAt(windowPos);
  dropAllowed_ = sheet_ && under != nullptr && (under == sheet_ || sheet_->isAncestorOf(under));
  QApplication::changeOverrideCursor(dropAllowed_ ? services_.dropAllowedCursor
                                                  : services_.noDropCursor);
}

void CConfigTreeDlg::DragEnd(QPoint windowPos) {
  if (!dragging_) return;
  DragMove(windowPos);
  const bool allowed = dropAllowed_;
  EndDragState();
  if (allowed) Drop();
}

void CConfigTreeDlg::CancelDrag() {
  pressPending_ = false;
  if (dragging_) EndDragState();
}

void CConfigTreeDlg::EndDragState() {
  dragging_ = false;
  dropAllowed_ = false;
  delete dragImage_;
  dragImage_ = nullptr;
  QApplication::restoreOverrideCursor();
  Tree()->viewport()->update();
}

void CConfigTreeDlg::Drop() {
  if (currentNode_.kind != NodeKind::Set) return;
  const std::uint32_t set = currentNode_.set;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ResolvedNode found = Resolve(Io().Model(), dragged_);
    // A refusal is shown by the request layer, after the lock is let go.
    if (found.adapter != nullptr && found.device != nullptr) {
      Io().AddMember(*found.adapter, static_cast<std::uint8_t>(set),
                     static_cast<std::uint8_t>(found.deviceIndex));
    }
  }
  ShowPage(kMembersTemplate);
}

bool CConfigTreeDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Tree()->viewport()) return QDialog::eventFilter(watched, event);
  QWidget* viewport = Tree()->viewport();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      const QPoint pos = mouse->position().toPoint();
      QTreeWidgetItem* item = Tree()->itemAt(pos);
      // A disk pressed while a set is shown may be dragged: like the
      // system's tree, the selection stays on the set until the button is
      // released without a drag.
      if (item != nullptr && currentNode_.kind == NodeKind::Set &&
          NodeOf(item).kind == NodeKind::Device && Draggable(ImageOf(item)) &&
          OnIconOrLabel(item, pos)) {
        pressPending_ = true;
        pressPos_ = pos;
        pressed_ = NodeOf(item);
        return true;
      }
      break;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint pos = mouse->position().toPoint();
      if (dragging_) {
        DragMove(ToWindow(viewport, pos));
        return true;
      }
      if (pressPending_ && (mouse->buttons() & Qt::LeftButton) != 0 &&
          (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        pressPending_ = false;
        if (BeginDrag(pressed_, ToWindow(viewport, pressPos_))) {
          DragMove(ToWindow(viewport, pos));
        } else {
          SelectNode(pressed_);
        }
        return true;
      }
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      if (dragging_) {
        DragEnd(ToWindow(viewport, mouse->position().toPoint()));
        return true;
      }
      if (pressPending_) {
        pressPending_ = false;
        SelectNode(pressed_);
        return true;
      }
      break;
    }
    case QEvent::KeyPress:
      if (dragging_ && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        CancelDrag();
        return true;
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- right-click -----------------------------------------------------------

bool CConfigTreeDlg::OnIconOrLabel(QTreeWidgetItem* item, QPoint viewportPos) const {
  const QRect rect = Tree()->visualItemRect(item);
  const QFontMetrics metrics(Tree()->font());
  const int right =
      rect.left() + Tree()->iconSize().width() + 8 + metrics.horizontalAdvance(item->text(0));
  return rect.contains(viewportPos) && viewportPos.x() <= right;
}

void CConfigTreeDlg::ContextMenuOn(QTreeWidgetItem* item, QPoint screenPos) {
  if (item == nullptr) return;
  const NodeRef node = NodeOf(item);
  // Selecting may rebuild the sheet; the item itself stays.
  SelectNode(node);
  if (node.kind != NodeKind::Device) return;
  bool eligible = false;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ResolvedNode found = Resolve(Io().Model(), node);
    // A device of an extended adapter ("Device") that is neither a set
    // member nor a spare drive.
    eligible = found.adapter != nullptr && found.device != nullptr && found.adapter->IsExtended() &&
               found.device->spare == 0 && !IsMember(*found.adapter, found.deviceIndex);
  }
  if (!eligible) return;
  // No system disk device of its own: no menu, so nothing can act on another
  // device.
  const std::optional<bool> enabled =
      Io().DiskDeviceEnabled(node.adapter, node.channel, node.device);
  if (!enabled) return;

  QAction* action = popupMenu_->actions().front();
  action->setText(ToQString(res::LoadString(*enabled ? res::kStrDisable : res::kStrEnable)));
  const QPointer<CConfigTreeDlg> alive(this);
  std::optional<unsigned> chosen;
  if (services_.runPopupMenu) {
    chosen = services_.runPopupMenu(*popupMenu_, screenPos);
  } else if (QAction* picked = popupMenu_->exec(screenPos)) {
    chosen = platform_qt::CommandIdOf(picked);
  }
  // The menu ran an event loop: the window may be gone, the tree rebuilt.
  if (!alive || chosen != kCmdDeviceState) return;

  const bool enable = !*enabled;
  platform::WaitCursor wait(Ui());
  if (!Io().SetDiskDeviceEnabled(node.adapter, node.channel, node.device, enable)) return;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ResolvedNode found = Resolve(Io().Model(), node);
    if (found.device != nullptr) {
      if (enable)
        found.device->flags = 0;
      else
        found.device->flags |= ctl::kFlagInUse;
    }
  }
  if (QTreeWidgetItem* now = ItemOf(node)) SetImage(now, enable ? kImageDiskFree : kImageDiskInUse);
}

}  // namespace kestrune::views
