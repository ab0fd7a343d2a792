#include "settings_ui/prop_page_email_notification.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "settings/app_settings.h"
#include "settings_ui/sheet_limits.h"
#include "ui_prop_page_email_notification.h"

namespace kestrune::settings {

namespace {

constexpr int kColumnWidth = 190;

}  // namespace

std::vector<std::wstring> SplitAddressList(const std::wstring& list) {
  std::vector<std::wstring> rows;
  std::size_t start = 0;
  for (std::size_t semicolon = list.find(L';'); semicolon != std::wstring::npos;
       semicolon = list.find(L';', start)) {
    rows.push_back(list.substr(start, semicolon - start));
    start = semicolon + 1;
  }
  return rows;
}

std::wstring JoinAddressList(const std::vector<std::wstring>& rows) {
  std::wstring list;
  for (const std::wstring& row : rows) list += row + L";";
  return list;
}

CPropPageEmailNotification::CPropPageEmailNotification(platform::UiServices& dialogs,
                                                       std::wstring subject, std::wstring addresses)
    : SheetPage(dialogs),
      ui_(std::make_unique<::Ui::CPropPageEmailNotification>()),
      subject_(std::move(subject)),
      addresses_(std::move(addresses)) {
  SetUpForm(*ui_);
  QTreeWidget* list = ui_->addressList;
  list->setColumnCount(1);
  list->setHeaderLabels({QString()});
  list->header()->hide();
  list->header()->setStretchLastSection(false);
  list->setColumnWidth(0, kColumnWidth);
  platform_qt::ConnectCommand(ui_->addButton, this);
  platform_qt::ConnectCommand(ui_->removeButton, this);
  // Enter in the new address's edit adds it (rather than closing the dialog).
  ui_->newAddressEdit->installEventFilter(this);
}

CPropPageEmailNotification::~CPropPageEmailNotification() = default;

bool CPropPageEmailNotification::DoDataExchange(bool save) {
  return ExchangeText(save, ui_->subjectEdit, subject_, kMaxFieldChars);
}

bool CPropPageEmailNotification::OnSetActive() {
  const platform::WaitCursor wait(Dialogs());
  UpdateData(false);
  QTreeWidget* list = ui_->addressList;
  list->clear();
  for (const std::wstring& address : SplitAddressList(addresses_)) {
    auto* item = new QTreeWidgetItem(list, {platform_qt::ToQString(address)});
    item->setTextAlignment(0, Qt::AlignHCenter | Qt::AlignVCenter);
    list->scrollToItem(item);
  }
  return true;
}

bool CPropPageEmailNotification::OnKillActive() {
  if (!UpdateData(true)) return false;
  addresses_ = JoinAddressList(Rows());
  ui_->addressList->clear();
  return true;
}

std::vector<std::wstring> CPropPageEmailNotification::Rows() const {
  std::vector<std::wstring> rows;
  const QTreeWidget* list = ui_->addressList;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    rows.push_back(platform_qt::ToWString(list->topLevelItem(i)->text(0)));
  }
  return rows;
}

bool CPropPageEmailNotification::HandleCommand(unsigned id) {
  if (platform_qt::CommandIdOf(ui_->addButton) == id) {
    OnAdd();
    return true;
  }
  if (platform_qt::CommandIdOf(ui_->removeButton) == id) {
    OnRemove();
    return true;
  }
  return false;
}

bool CPropPageEmailNotification::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->newAddressEdit && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      OnAdd();
      return true;
    }
  }
  return SheetPage::eventFilter(watched, event);
}

void CPropPageEmailNotification::OnAdd() {
  const QString address = ui_->newAddressEdit->text();
  ui_->newAddressEdit->clear();
  QTreeWidget* list = ui_->addressList;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    if (list->topLevelItem(i)->text(0).compare(address, Qt::CaseInsensitive) == 0) {
      Tell(res::LoadString(res::kStrAddressExists));
      return;
    }
  }
  // "Event List" is read back up to its length limit only: an address past
  // it would be dropped at the next start, and every address after it.
  std::vector<std::wstring> rows = Rows();
  rows.push_back(platform_qt::ToWString(address));
  if (!AppSettings::FitsTextValue(JoinAddressList(rows))) {
    Tell(res::LoadString(res::kStrAddressListFull));
    // Kept for the user to shorten the list or the address.
    ui_->newAddressEdit->setText(address);
    return;
  }
  auto* item = new QTreeWidgetItem(list, {address});
  item->setTextAlignment(0, Qt::AlignHCenter | Qt::AlignVCenter);
  list->scrollToItem(item);
  ui_->newAddressEdit->setFocus();
}

void CPropPageEmailNotification::OnRemove() {
  QTreeWidget* list = ui_->addressList;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    if (list->topLevelItem(i)->isSelected()) {
      delete list->takeTopLevelItem(i);
      return;
    }
  }
  Tell(res::LoadString(res::kStrSelectItemFirst));
}

}  // namespace kestrune::settings
