#include "views/config_tree_dlg.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionViewItem>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

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

QModelIndex IndexOf(const QTreeWidget& tree, const QTreeWidgetItem* item) {
  if (item == nullptr) return {};
  const QTreeWidgetItem* parent = item->parent();
  const int row = parent != nullptr ? parent->indexOfChild(const_cast<QTreeWidgetItem*>(item))
                                    : tree.indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
  return tree.model()->index(row, 0, IndexOf(tree, parent));
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
  // A window of its own with a taskbar button: caption, system menu (with
  // its close box) and minimise box; no maximise box, and a size of its own
  // choosing (FitSheetArea).
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
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
  // The platform's drag loop must not outlive its source.
  if (dragging_) QDrag::cancel();
  // The pages reach this window while they leave their node: before its
  // members go.
  if (sheet_) {
    sheet_->LeaveNode();
    // Its last events (the hide of its destruction) are no drag's.
    sheet_->removeEventFilter(this);
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
  old->removeEventFilter(this);
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
  // Disks dragged from the tree are let go over the sheet.
  sheet->setAcceptDrops(true);
  sheet->installEventFilter(this);
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
  FitSheetArea(sheet_->minimumSizeHint());
}

QSize CConfigTreeDlg::LargestPagesNeed() {
  // Every kind of node the tree holds, and every set (whose page differs
  // with the set's type), in sheets that are never shown: a page fills its
  // values only when it is shown, so nothing is asked of the driver.
  QSize largest;
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  if (root == nullptr) return largest;
  const PageConditions conditions = Conditions();
  std::vector<NodeRef> measured;
  auto measure = [&](QTreeWidgetItem* item) {
    const NodeRef node = NodeOf(item);
    const bool seen = std::any_of(measured.begin(), measured.end(), [&](const NodeRef& other) {
      return other.kind == node.kind && (node.kind != NodeKind::Set || other == node);
    });
    if (seen) return;
    measured.push_back(node);
    CNodePageSheet probe(ui_->sheetHost);
    probe.hide();
    for (auto& page : MakeNodePages(*this, node, conditions)) probe.AddNodePage(std::move(page));
    for (int round = 0; round < 3; ++round)
      QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    largest = largest.expandedTo(probe.minimumSizeHint());
  };
  measure(root);
  ForEachBelow(root, measure);
  return largest;
}

void CConfigTreeDlg::FitSheetArea(QSize need) {
  // The window opens as large as the largest page of any node needs and
  // keeps that size while the user walks the tree; only a page whose values
  // need still more room widens it, until another node is shown. The user
  // does not resize it.
  if (!openingArea_.isValid()) {
    openingArea_ = need.expandedTo(ui_->sheetHost->minimumSize()).expandedTo(LargestPagesNeed());
  }
  const QSize area = need.expandedTo(openingArea_);
  if (ui_->sheetHost->minimumSize() != area) ui_->sheetHost->setMinimumSize(area);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  layout()->activate();
  platform_qt::FitToTexts(this);
  setFixedSize(minimumSize().expandedTo(minimumSizeHint()));
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

namespace {

QByteArray EncodeDisk(const NodeRef& disk) {
  return QByteArray::number(disk.adapter) + ',' + QByteArray::number(disk.channel) + ',' +
         QByteArray::number(disk.device);
}

std::optional<NodeRef> DecodeDisk(const QByteArray& data) {
  const QList<QByteArray> parts = data.split(',');
  if (parts.size() != 3) return std::nullopt;
  std::array<std::uint32_t, 3> numbers{};
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    bool ok = false;
    numbers[i] = parts[static_cast<int>(i)].toUInt(&ok);
    if (!ok) return std::nullopt;
  }
  return NodeRef::Device(numbers[0], numbers[1], numbers[2]);
}

// The platform's drag shows a cursor picture with its hot spot in the
// middle: the picture is widened so that the cursor's own hot spot is there.
QPixmap DragCursorPixmap(const QCursor& cursor) {
  const QPixmap picture = cursor.pixmap();
  if (picture.isNull()) return {};
  const QPoint hot = cursor.hotSpot();
  const int width = 2 * std::max(hot.x(), picture.width() - hot.x());
  const int height = 2 * std::max(hot.y(), picture.height() - hot.y());
  QPixmap centred(width, height);
  centred.fill(Qt::transparent);
  QPainter painter(&centred);
  painter.drawPixmap(width / 2 - hot.x(), height / 2 - hot.y(), picture);
  return centred;
}

}  // namespace

bool CConfigTreeDlg::CanDrag(const NodeRef& dragged) const {
  // A set's pages must be showing, and the item must be a disk (free, in use
  // or spare) under one of its adapter's channels. The disk's adapter need
  // not be the set's: the driver decides.
  if (currentNode_.kind != NodeKind::Set || dragged.kind != NodeKind::Device) return false;
  QTreeWidgetItem* item = ItemOf(dragged);
  if (item == nullptr || !Draggable(ImageOf(item))) return false;
  return NodeOf(item->parent()) == NodeRef::Channel(dragged.adapter, dragged.channel);
}

bool CConfigTreeDlg::TreeMouseEvent(QMouseEvent* mouse) {
  const QPoint pos = mouse->position().toPoint();
  switch (mouse->type()) {
    case QEvent::MouseButtonPress: {
      spentGesture_ = false;
      if (mouse->button() != Qt::LeftButton || dragging_) return false;
      QTreeWidgetItem* item = Tree()->itemAt(pos);
      if (item == nullptr || !OnIconOrLabel(item, pos) || !CanDrag(NodeOf(item))) return false;
      // Like the system's tree: the selection stays on the set until the
      // button is released without a drag.
      pressPending_ = true;
      pressPos_ = pos;
      pressed_ = NodeOf(item);
      return true;
    }
    case QEvent::MouseMove:
      if (spentGesture_) {
        // What the hand does after a drag, until it lets go, is not the
        // tree's either.
        if ((mouse->buttons() & Qt::LeftButton) != 0) return true;
        spentGesture_ = false;
      }
      if (!pressPending_) return false;
      if ((mouse->buttons() & Qt::LeftButton) == 0) {
        // The release went elsewhere.
        pressPending_ = false;
        return false;
      }
      // Moves short of the start distance are the hand's tremor, not the
      // tree's (which would select what is under the pointer).
      if ((pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        pressPending_ = false;
        RunDrag();
      }
      return true;
    case QEvent::MouseButtonRelease:
      if (mouse->button() == Qt::LeftButton && std::exchange(spentGesture_, false)) return true;
      if (mouse->button() != Qt::LeftButton || !pressPending_) return false;
      pressPending_ = false;
      SelectNode(pressed_);
      return true;
    case QEvent::MouseButtonDblClick:
      return pressPending_;
    default:
      return false;
  }
}

void CConfigTreeDlg::RunDrag() {
  QTreeWidgetItem* item = ItemOf(pressed_);
  if (item == nullptr || !CanDrag(pressed_)) {
    SelectNode(pressed_);
    return;
  }
  auto* payload = new QMimeData;
  payload->setData(QString::fromLatin1(kDiskMimeType), EncodeDisk(pressed_));
  auto* drag = new QDrag(this);
  drag->setMimeData(payload);
  drag->setPixmap(Tree()->viewport()->grab(IconAndLabelRect(item)));
  drag->setHotSpot(-kDragImageOffset);
  drag->setDragCursor(DragCursorPixmap(services_.dropAllowedCursor), Qt::CopyAction);
  drag->setDragCursor(DragCursorPixmap(services_.noDropCursor), Qt::IgnoreAction);
  dragging_ = true;
  dropped_.reset();
  Tree()->viewport()->update();
  const QPointer<CConfigTreeDlg> alive(this);
  // The platform's loop runs until the button is let go or Escape is
  // pressed; the logger's calls are carried out meanwhile.
  drag->exec(Qt::CopyAction, Qt::CopyAction);
  if (!alive) return;
  dragging_ = false;
  spentGesture_ = true;
  Tree()->viewport()->update();
  // The drop's request may raise a box: after the platform's drag is over.
  if (const std::optional<NodeRef> disk = std::exchange(dropped_, std::nullopt)) Drop(*disk);
}

bool CConfigTreeDlg::AcceptsDrop(const QDropEvent& event) const {
  // Only this window's own drag, while a set's pages show.
  return dragging_ && event.source() == this && currentNode_.kind == NodeKind::Set &&
         event.mimeData() != nullptr &&
         event.mimeData()->hasFormat(QString::fromLatin1(kDiskMimeType));
}

bool CConfigTreeDlg::SheetDragEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (AcceptsDrop(*drag)) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::optional<NodeRef> disk =
          AcceptsDrop(*drop)
              ? DecodeDisk(drop->mimeData()->data(QString::fromLatin1(kDiskMimeType)))
              : std::nullopt;
      if (!disk) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      dropped_ = disk;
      return true;
    }
    default:
      return false;
  }
}

void CConfigTreeDlg::Drop(const NodeRef& disk) {
  if (currentNode_.kind != NodeKind::Set) return;
  const std::uint32_t set = currentNode_.set;
  {
    ctl::CControllerIo::Lock lock(Io());
    const ResolvedNode found = Resolve(Io().Model(), disk);
    // A refusal is shown by the request layer, after the lock is let go.
    if (found.adapter != nullptr && found.device != nullptr) {
      Io().AddMember(*found.adapter, static_cast<std::uint8_t>(set),
                     static_cast<std::uint8_t>(found.deviceIndex));
    }
  }
  ShowPage(kMembersTemplate);
}

bool CConfigTreeDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Tree()->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseMove:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        if (TreeMouseEvent(static_cast<QMouseEvent*>(event))) return true;
        break;
      default:
        break;
    }
  } else if (sheet_ && watched == sheet_.data()) {
    if (SheetDragEvent(event)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- right-click -----------------------------------------------------------

QRect CConfigTreeDlg::IconAndLabelRect(QTreeWidgetItem* item) const {
  const QModelIndex index = IndexOf(*Tree(), item);
  if (!index.isValid()) return {};
  const QRect row = Tree()->visualItemRect(item);
  // As wide as the tree's own delegate paints icon and label, margins
  // included.
  QStyleOptionViewItem option;
  option.initFrom(Tree()->viewport());
  option.font = Tree()->font();
  option.decorationSize = Tree()->iconSize();
  option.widget = Tree();
  const QSize painted = Tree()->itemDelegateForIndex(index)->sizeHint(option, index);
  return {row.left(), row.top(), std::min(painted.width(), row.width()), row.height()};
}

bool CConfigTreeDlg::OnIconOrLabel(QTreeWidgetItem* item, QPoint viewportPos) const {
  return IconAndLabelRect(item).contains(viewportPos);
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
