#include "platform_qt/property_sheet.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "platform_qt/qt_ui_services.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"

namespace kestrune::platform_qt {

CPropertyPage::CPropertyPage(const QString& caption, unsigned templateId)
    : caption_(caption), templateId_(templateId) {
  if (templateId != 0) {
    setObjectName(QString::number(templateId));
    setProperty(kTemplateIdProperty, templateId);
  }
}

CPropertyPage::CPropertyPage() = default;

void CPropertyPage::AdoptForm() {
  caption_ = windowTitle();
  templateId_ = TemplateIdOf(this).value_or(0);
}

CPropertyPage::~CPropertyPage() = default;

bool CPropertyPage::OnSetActive() {
  UpdateData(false);
  return true;
}

bool CPropertyPage::OnKillActive() {
  return UpdateData(true);
}

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

bool CPropertyPage::OnApply() {
  OnOK();
  return true;
}

bool CPropertyPage::UpdateData(bool save) {
  return DoDataExchange(save);
}

bool CPropertyPage::DoDataExchange(bool save) {
  static_cast<void>(save);
  return true;
}

void CPropertyPage::SetModified(bool changed) {
  modified_ = changed;
  if (sheet_ != nullptr) sheet_->UpdateApply();
}

bool CPropertyPage::HandleCommand(unsigned id) {
  static_cast<void>(id);
  return false;
}

platform::MsgResult CPropertyPage::Message(const std::wstring& text, platform::MsgButtons buttons,
                                           platform::MsgIcon icon) {
  platform::UiServices* ui = sheet_ != nullptr ? sheet_->UiServices() : nullptr;
  if (ui != nullptr) return ui->MessageBox(text, std::wstring(), buttons, icon);
  QtUiServices local;
  local.SetParentWidget(this);
  return local.MessageBox(text, std::wstring(), buttons, icon);
}

bool CPropertyPage::ExchangeText(bool save, QLineEdit* edit, std::wstring& value, int maxChars) {
  if (edit == nullptr) return true;
  if (!save) {
    edit->setText(ToQString(value));
    return true;
  }
  const QString text = edit->text();
  if (maxChars >= 0 && text.size() > maxChars) {
    std::wstring message = res::LoadString(res::kStrTextTooLong);
    if (message.empty()) message = L"Please enter no more than %1 characters.";
    const auto at = message.find(L"%1");
    if (at != std::wstring::npos) message.replace(at, 2, std::to_wstring(maxChars));
    Message(message, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    edit->setFocus();
    edit->selectAll();
    return false;
  }
  value = ToWString(text);
  return true;
}

void CPropertyPage::ExchangeCheck(bool save, QAbstractButton* box, bool& value) {
  if (box == nullptr) return;
  if (save) {
    value = box->isChecked();
  } else {
    box->setChecked(value);
  }
}

void CPropertyPage::ExchangeSlider(bool save, QSlider* slider, int& value) {
  if (slider == nullptr) return;
  if (save) {
    value = slider->value();
  } else {
    slider->setValue(value);
  }
}

CPropertySheet::CPropertySheet(const QString& caption, QWidget* parent, Buttons buttons)
    : QDialog(parent) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabBar(this);
  tabs_->setExpanding(false);
  stack_ = new QStackedWidget(this);
  layout->addWidget(tabs_);
  layout->addWidget(stack_, 1);
  if (buttons != Buttons::None) {
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    ok_ = MakeButton(this, res::kIdOk, ToQString(res::LoadString(res::kStrButtonOk)), this);
    ok_->setDefault(true);
    cancel_ =
        MakeButton(this, res::kIdCancel, ToQString(res::LoadString(res::kStrButtonCancel)), this);
    row->addWidget(ok_);
    row->addWidget(cancel_);
    if (buttons == Buttons::OkCancelApply) {
      apply_ =
          MakeButton(this, res::kIdApply, ToQString(res::LoadString(res::kStrButtonApply)), this);
      apply_->setEnabled(false);
      row->addWidget(apply_);
    }
    layout->addLayout(row);
  } else {
    layout->setContentsMargins(0, 0, 0, 0);
  }
  connect(tabs_, &QTabBar::currentChanged, this, &CPropertySheet::OnTabChanged);
  // The caption, the tabs and the pages added later all fit; a sheet inside a
  // dialog is fitted with the dialog.
  if (buttons != Buttons::None) FitToTexts(this);
}

CPropertySheet::~CPropertySheet() {
  // The tab bar outlives this part of the object; its last signals must not
  // reach a half-destroyed sheet.
  disconnect(tabs_, nullptr, this, nullptr);
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  if (page == nullptr) return;
  page->sheet_ = this;
  page->SetNextCommandTarget(this);
  pages_.push_back(page);
  const QSignalBlocker blocker(tabs_);
  tabs_->addTab(page->Caption());
  // A hidden tab bar does not tell its layout that it grew: a sheet embedded
  // in a window that is shown already would keep it zero high.
  tabs_->updateGeometry();
  stack_->addWidget(page);
  tabs_->setCurrentIndex(started_ ? active_ : start_);
  stack_->setCurrentIndex(started_ ? active_ : start_);
}

CPropertyPage* CPropertySheet::Page(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[static_cast<std::size_t>(index)];
}

CPropertyPage* CPropertySheet::ActivePage() const {
  return Page(active_);
}

QPushButton* CPropertySheet::Button(unsigned id) const {
  switch (id) {
    case res::kIdOk:
      return ok_;
    case res::kIdCancel:
      return cancel_;
    case res::kIdApply:
      return apply_;
    default:
      return nullptr;
  }
}

bool CPropertySheet::ActivateFirst() {
  if (started_) return true;
  started_ = true;
  if (PageCount() == 0) return false;
  if (start_ >= PageCount()) start_ = 0;
  active_ = start_;
  {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(active_);
  }
  stack_->setCurrentIndex(active_);
  CPropertyPage* page = ActivePage();
  page->activated_ = true;
  page->OnSetActive();
  emit ActivePageChanged(active_);
  return true;
}

void CPropertySheet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ActivateFirst();
}

bool CPropertySheet::SetActivePage(CPropertyPage* page) {
  for (int i = 0; i < PageCount(); ++i) {
    if (Page(i) == page) return SetActivePage(i);
  }
  return false;
}

bool CPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) return false;
  if (!started_) {
    start_ = index;
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(index);
    stack_->setCurrentIndex(index);
    return true;
  }
  auto showTab = [this](int i) {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(i);
    stack_->setCurrentIndex(i);
  };
  if (index == active_) {
    showTab(index);
    return true;
  }
  CPropertyPage* old = ActivePage();
  // A click has moved the tab bar already; until the page has let the user
  // go (its length checks may keep them, with a message), it shows that
  // page's tab.
  showTab(active_);
  if (old != nullptr && !old->OnKillActive()) return false;
  CPropertyPage* next = Page(index);
  showTab(index);
  next->activated_ = true;
  if (!next->OnSetActive()) {
    // The new page refused: back to the one that was left.
    showTab(active_);
    if (old != nullptr) old->OnSetActive();
    return false;
  }
  active_ = index;
  emit ActivePageChanged(active_);
  return true;
}

void CPropertySheet::OnTabChanged(int index) {
  if (index != active_) SetActivePage(index);
}

bool CPropertySheet::PressOk() {
  if (closing_) return false;
  ActivateFirst();
  CPropertyPage* active = ActivePage();
  if (active != nullptr && !active->OnKillActive()) return false;
  for (CPropertyPage* page : pages_) {
    if (page->activated_) page->OnOK();
  }
  closing_ = true;
  OnOK();
  closing_ = false;
  return true;
}

bool CPropertySheet::PressApply() {
  if (closing_) return false;
  ActivateFirst();
  CPropertyPage* active = ActivePage();
  if (active != nullptr && !active->OnKillActive()) return false;
  for (CPropertyPage* page : pages_) {
    if (page->activated_ && !page->OnApply()) return false;
  }
  for (CPropertyPage* page : pages_) page->modified_ = false;
  UpdateApply();
  return true;
}

void CPropertySheet::PressCancel() {
  if (closing_) return;
  for (CPropertyPage* page : pages_) {
    if (page->activated_) page->OnCancel();
  }
  closing_ = true;
  OnCancel();
  closing_ = false;
}

void CPropertySheet::OnOK() {
  QDialog::accept();
}

void CPropertySheet::OnCancel() {
  QDialog::reject();
}

void CPropertySheet::reject() {
  PressCancel();
}

void CPropertySheet::UpdateApply() {
  if (apply_ == nullptr) return;
  bool any = false;
  for (CPropertyPage* page : pages_) any = any || page->modified_;
  apply_->setEnabled(any);
}

bool CPropertySheet::HandleCommand(unsigned id) {
  switch (id) {
    case res::kIdOk:
      PressOk();
      return true;
    case res::kIdCancel:
      PressCancel();
      return true;
    case res::kIdApply:
      PressApply();
      return true;
    default:
      return false;
  }
}

}  // namespace kestrune::platform_qt
