// The RAID wizard's pages. Each is one form (resources/dialogs/<file>.ui) and
// one class; the page keeps only its controls and reaches the run's data
// through its sheet. The framework's slots are the virtuals of WizardPageBase.
#pragma once

#include <QWizardPage>
#include <memory>

#include "wizard/wizard_state.h"

class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace Ui {
class CWizardWelcome;
class CWizardSelController;
class CWizardSelAction;
class CWizardDelRaidSet;
class CWizardCreateRaidSet;
class CWizardRaid1SelSpares;
class CWizardRaid1CreateSpares;
class CWizardFinish;
}  // namespace Ui

namespace kestrune::wizard {

class CWizardRaid;
class ListClicks;

class WizardPageBase : public QWizardPage {
  Q_OBJECT

 public:
  WizardPageBase(CWizardRaid& sheet, WizardPage id);
  ~WizardPageBase() override;

  WizardPage Id() const { return id_; }

  // The page is shown (by Next or by Back).
  virtual void OnSetActive() {}
  // The page is left by Next (Finish); false keeps the wizard on it (a page
  // whose step goes on past the call closes the wizard itself afterwards).
  virtual bool OnWizardNext() { return true; }
  virtual bool OnWizardFinish() { return true; }
  // The page is left by Back.
  virtual void OnWizardBack() {}

  // Next or Finish as the state offers them.
  bool isComplete() const override;
  // Tells the wizard that the buttons may have changed.
  void NotifyButtons() { emit completeChanged(); }

 protected:
  CWizardRaid& Sheet() const { return sheet_; }
  WizardState& State() const;
  // Header title and subtitle from the string table (interior pages).
  void SetHeader(unsigned titleId, unsigned subtitleId);

 private:
  CWizardRaid& sheet_;
  WizardPage id_;
};

class CWizardWelcome final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardWelcome(CWizardRaid& sheet);
  ~CWizardWelcome() override;
  bool OnWizardNext() override;
  QLabel* TitleLabel() const;

 private:
  std::unique_ptr<Ui::CWizardWelcome> ui_;
};

class CWizardSelController final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardSelController(CWizardRaid& sheet);
  ~CWizardSelController() override;
  void OnSetActive() override;
  void OnWizardBack() override;
  // The activation steps without showing the page (the welcome page skips it).
  void Activate();
  QTreeWidget* List() const;

 private:
  void OnClick();
  std::unique_ptr<Ui::CWizardSelController> ui_;
  ListClicks* clicks_ = nullptr;
};

class CWizardSelAction final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardSelAction(CWizardRaid& sheet);
  ~CWizardSelAction() override;
  void OnSetActive() override;
  bool OnWizardNext() override;

 private:
  std::unique_ptr<Ui::CWizardSelAction> ui_;
};

class CWizardDelRaidSet final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardDelRaidSet(CWizardRaid& sheet);
  ~CWizardDelRaidSet() override;
  void OnSetActive() override;
  bool OnWizardFinish() override;

 private:
  void OnClick();
  std::unique_ptr<Ui::CWizardDelRaidSet> ui_;
  ListClicks* clicks_ = nullptr;
};

class CWizardCreateRaidSet final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardCreateRaidSet(CWizardRaid& sheet);
  ~CWizardCreateRaidSet() override;
  void OnSetActive() override;

 private:
  std::unique_ptr<Ui::CWizardCreateRaidSet> ui_;
};

class CWizardRaid1SelSpares final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardRaid1SelSpares(CWizardRaid& sheet);
  ~CWizardRaid1SelSpares() override;
  void OnSetActive() override;
  void OnWizardBack() override;

 private:
  void OnSelect();
  void OnDeselect();
  std::unique_ptr<Ui::CWizardRaid1SelSpares> ui_;
};

class CWizardRaid1CreateSpares final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardRaid1CreateSpares(CWizardRaid& sheet);
  ~CWizardRaid1CreateSpares() override;
  void OnSetActive() override;
  bool OnWizardNext() override;

 private:
  std::unique_ptr<Ui::CWizardRaid1CreateSpares> ui_;
};

class CWizardFinish final : public WizardPageBase {
  Q_OBJECT

 public:
  explicit CWizardFinish(CWizardRaid& sheet);
  ~CWizardFinish() override;
  QLabel* TitleLabel() const;

 private:
  std::unique_ptr<Ui::CWizardFinish> ui_;
};

}  // namespace kestrune::wizard
