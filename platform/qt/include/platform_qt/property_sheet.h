// Property sheets and pages written once, with the framework's order of
// calls: a page is told when it becomes active and when it is left (and may
// keep the user on it), exchanges its data with its controls on request, and
// OK, Cancel and Apply reach every page that has been shown.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/ui_services.h"
#include "platform_qt/command_table.h"
#include "platform_qt/forms.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTabBar;

namespace kestrune::platform_qt {

class CPropertySheet;

class CPropertyPage : public QWidget, public CommandTarget {
  Q_OBJECT

 public:
  // caption: the tab text; templateId: the dialog template's number, kept as
  // the page's object name so that tests can find it.
  explicit CPropertyPage(const QString& caption, unsigned templateId = 0);
  ~CPropertyPage() override;

  const QString& Caption() const { return caption_; }
  unsigned TemplateId() const { return templateId_; }
  CPropertySheet* Sheet() const { return sheet_; }

  // The page becomes the active one. False refuses: the sheet stays on the
  // page it had. Default: UpdateData(false), true.
  virtual bool OnSetActive();
  // The page is about to be left (another tab, OK, Apply). False keeps the
  // user on it. Default: UpdateData(true).
  virtual bool OnKillActive();
  // OK or Apply, after the active page was left successfully; called for
  // every page that has been active at least once. Default: nothing.
  virtual void OnOK();
  // Cancel, for every page that has been active at least once.
  virtual void OnCancel();
  // Apply: default OnOK(), true. False stops the remaining pages.
  virtual bool OnApply();

  // Moves data between the controls and the page's copies: save true reads the
  // controls, false shows the copies. False when a value failed its check
  // (the helper that found it has told the user and focused the control).
  bool UpdateData(bool save);

  // Marks the page changed (enables the sheet's Apply button).
  void SetModified(bool changed = true);
  bool IsModified() const { return modified_; }
  bool WasActivated() const { return activated_; }

 protected:
  // A page declared by a form: the constructor of the page's class calls
  // SetUpForm(ui_) first. The form's window title is the tab caption, its
  // templateId the template number, and its texts are localised.
  CPropertyPage();
  template <typename Form>
  void SetUpForm(Form& form) {
    platform_qt::SetUpForm(form, this);
    AdoptForm();
  }

  // Default: nothing to exchange.
  virtual bool DoDataExchange(bool save);

  // Data-exchange helpers. A text longer than maxChars (when >= 0) is refused
  // on save with the framework's "Please enter no more than %1 characters."
  bool ExchangeText(bool save, QLineEdit* edit, std::wstring& value, int maxChars = -1);
  void ExchangeCheck(bool save, QAbstractButton* box, bool& value);
  void ExchangeSlider(bool save, QSlider* slider, int& value);

  // Where the page's messages go: the sheet's UiServices, else a QMessageBox.
  platform::MsgResult Message(const std::wstring& text, platform::MsgButtons buttons,
                              platform::MsgIcon icon);

  // No commands of its own by default; unhandled ids go to the sheet.
  bool HandleCommand(unsigned id) override;

 private:
  void AdoptForm();

  friend class CPropertySheet;
  QString caption_;
  unsigned templateId_ = 0;
  CPropertySheet* sheet_ = nullptr;
  bool modified_ = false;
  bool activated_ = false;
};

class CPropertySheet : public QDialog, public CommandTarget {
  Q_OBJECT

 public:
  // None: the sheet is a child of a dialog that has the buttons itself.
  enum class Buttons { OkCancel, OkCancelApply, None };

  explicit CPropertySheet(const QString& caption, QWidget* parent = nullptr,
                          Buttons buttons = Buttons::OkCancelApply);
  ~CPropertySheet() override;

  // The sheet takes ownership. Pages are shown in the order they are added.
  void AddPage(CPropertyPage* page);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* Page(int index) const;
  CPropertyPage* ActivePage() const;
  int ActiveIndex() const { return active_; }

  // Moves to another page: kill-active of the current page (may veto), then
  // set-active of the new one (may refuse; the old page is then activated
  // again). Before the sheet is first shown this only picks the start page.
  // True when the page is now active.
  bool SetActivePage(int index);
  bool SetActivePage(CPropertyPage* page);

  // The buttons, as a click would do them. OK and Apply: kill-active of the
  // active page (a veto stops here), then OnOK (OnApply) of every page that
  // has been active; OK then calls OnOK() of the sheet. Cancel: OnCancel of
  // those pages, then OnCancel() of the sheet.
  bool PressOk();
  void PressCancel();
  bool PressApply();

  // Services for the pages' messages; may be null (QMessageBox then).
  void SetUiServices(platform::UiServices* ui) { ui_ = ui; }
  platform::UiServices* UiServices() const { return ui_; }

  QPushButton* Button(unsigned id) const;  // 1, 2, 12321; nullptr when absent
  QTabBar* TabBar() const { return tabs_; }

  // Escape and the close box mean Cancel.
  void reject() override;

 signals:
  void ActivePageChanged(int index);

 protected:
  // After every page accepted OK: closes the sheet with Accepted.
  virtual void OnOK();
  // After Cancel: closes the sheet with Rejected.
  virtual void OnCancel();

  bool HandleCommand(unsigned id) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnTabChanged(int index);
  void UpdateApply();
  bool ActivateFirst();

  std::vector<CPropertyPage*> pages_;
  QTabBar* tabs_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  platform::UiServices* ui_ = nullptr;
  int active_ = -1;  // -1 until the first activation
  int start_ = 0;
  bool started_ = false;
  bool closing_ = false;
  friend class CPropertyPage;
};

}  // namespace kestrune::platform_qt
