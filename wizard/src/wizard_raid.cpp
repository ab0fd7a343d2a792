#include "wizard/wizard_raid.h"

#include <QAbstractButton>

#include "platform_qt/busy_wait_box.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "wizard/wizard_pages.h"

namespace kestrune::wizard {

namespace {

WizardState InitialState(ctl::CControllerIo& io) {
  ctl::CControllerIo::Lock lock(io);
  return WizardState(io.Model());
}

QString Text(unsigned id) {
  return platform_qt::ToQString(res::LoadString(id));
}

// The size a sheet of this style needs for a page of `page` size with a
// header: measured on a wizard laid out without being shown on the screen.
QSize SheetSizeForHeaderPages(const QPixmap& header, QSize page, const QString& title,
                              const QString& subTitle) {
  QWizard probe;
  probe.setAttribute(Qt::WA_DontShowOnScreen);
  probe.setWizardStyle(QWizard::ModernStyle);
  probe.setOption(QWizard::HaveHelpButton, false);
  probe.setPixmap(QWizard::LogoPixmap, header);
  auto* sample = new QWizardPage;
  sample->setTitle(title);
  sample->setSubTitle(subTitle);
  sample->setMinimumSize(page);
  probe.addPage(sample);
  probe.show();
  const QSize size = probe.size().expandedTo(probe.minimumSizeHint());
  probe.hide();
  return size;
}

}  // namespace

CWizardRaid::CWizardRaid(WizardServices services, const QPixmap& watermark, const QPixmap& header,
                         QWidget* parent)
    : QWizard(parent), services_(std::move(services)), state_(InitialState(*services_.io)) {
  setObjectName(QStringLiteral("CWizardRaid"));
  setWindowTitle(Text(res::kStrWizardCaption));
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::HaveHelpButton, false);
  setButtonText(QWizard::BackButton, Text(res::kStrWizardBack));
  setButtonText(QWizard::NextButton, Text(res::kStrWizardNext));
  setButtonText(QWizard::FinishButton, Text(res::kStrWizardFinish));
  setButtonText(QWizard::CancelButton, Text(res::kStrButtonCancel));
  setPixmap(QWizard::LogoPixmap, header);

  pages_ = {new CWizardWelcome(*this),           new CWizardSelController(*this),
            new CWizardSelAction(*this),         new CWizardDelRaidSet(*this),
            new CWizardCreateRaidSet(*this),     new CWizardRaid1SelSpares(*this),
            new CWizardRaid1CreateSpares(*this), new CWizardFinish(*this)};
  for (WizardPageBase* page : pages_) {
    // Only the exterior pages stand beside the watermark; the others have a
    // header.
    if (page->Id() == WizardPage::kWelcome || page->Id() == WizardPage::kFinish)
      page->setPixmap(QWizard::WatermarkPixmap, watermark);
    setPage(static_cast<int>(page->Id()), page);
  }
  setStartId(static_cast<int>(WizardPage::kWelcome));
  // The wizard sizes itself for the page it shows: every page with a header
  // asks for as much room as the largest, so that the sheet and its buttons
  // stay where they are from page to page.
  QSize largest;
  for (WizardPageBase* page : pages_) {
    if (page->Id() != WizardPage::kWelcome && page->Id() != WizardPage::kFinish)
      largest = largest.expandedTo(page->minimumSizeHint());
  }
  QString title, subTitle;
  for (WizardPageBase* page : pages_) {
    if (page->Id() == WizardPage::kWelcome || page->Id() == WizardPage::kFinish) continue;
    page->setMinimumSize(largest);
    if (page->title().size() > title.size()) title = page->title();
    if (page->subTitle().size() > subTitle.size()) subTitle = page->subTitle();
  }
  // It opens on an exterior page, which has no header: it is made as large
  // as the others need from the start.
  setMinimumSize(SheetSizeForHeaderPages(header, largest, title, subTitle));

  // Back goes where the state machine says, after the page's own step.
  QAbstractButton* back = button(QWizard::BackButton);
  QObject::disconnect(back, static_cast<const char*>(nullptr), this,
                      static_cast<const char*>(nullptr));
  connect(back, &QAbstractButton::clicked, this, [this] { OnBack(); });
  connect(this, &QWizard::currentIdChanged, this, [this](int id) { OnPageShown(id); });
  platform_qt::FitToTexts(this);
}

CWizardRaid::~CWizardRaid() = default;

void CWizardRaid::RemoveAdapterItems() {
  if (services_.removeAdapterItems) services_.removeAdapterItems();
}

WizardPage CWizardRaid::CurrentPage() const {
  const int id = currentId();
  return id < 0 || id >= kPageCount ? WizardPage::kWelcome : static_cast<WizardPage>(id);
}

WizardPageBase* CWizardRaid::Page(WizardPage page) const {
  return pages_[static_cast<std::size_t>(page)];
}

CWizardSelController* CWizardRaid::ControllerPage() const {
  return static_cast<CWizardSelController*>(Page(WizardPage::kController));
}

void CWizardRaid::UpdateButtons() {
  if (currentId() < 0) return;
  const WizardPage page = CurrentPage();
  // Next and Finish follow the page's isComplete, which asks the state.
  Page(page)->NotifyButtons();
  button(QWizard::BackButton)->setEnabled(state_.ButtonsOf(page).back && !busy_);
}

int CWizardRaid::nextId() const {
  if (currentId() < 0) return -1;
  const std::optional<WizardPage> next = state_.NextOf(CurrentPage());
  return next ? static_cast<int>(*next) : -1;
}

bool CWizardRaid::validateCurrentPage() {
  if (busy_ || currentId() < 0) return false;
  const WizardPage page = CurrentPage();
  const WizardButtons buttons = state_.ButtonsOf(page);
  // Called by Next and by Finish alike; the page offers one of them.
  if (state_.NextOf(page)) return buttons.next && Page(page)->OnWizardNext();
  return buttons.finish && Page(page)->OnWizardFinish();
}

void CWizardRaid::reject() {
  if (busy_) return;
  QWizard::reject();
}

void CWizardRaid::OnBack() {
  if (busy_ || currentId() < 0) return;
  const WizardPage page = CurrentPage();
  if (!state_.ButtonsOf(page).back || !state_.BackOf(page)) return;
  Page(page)->OnWizardBack();
  // The page Back leads to is always the one Next came from.
  back();
}

void CWizardRaid::OnPageShown(int id) {
  if (id < 0 || id >= kPageCount) return;
  Page(static_cast<WizardPage>(id))->OnSetActive();
  UpdateButtons();
}

void CWizardRaid::RunStep(std::function<void()> step, std::function<void()> then) {
  busy_ = true;
  UpdateButtons();
  for (QWizard::WizardButton which :
       {QWizard::NextButton, QWizard::FinishButton, QWizard::CancelButton})
    button(which)->setEnabled(false);
  platform_qt::StartWithoutFreezing(
      *this, this, Ui(), {.work = std::move(step)},
      [this, then = std::move(then)](const std::exception_ptr& failure) {
        busy_ = false;
        button(QWizard::CancelButton)->setEnabled(true);
        UpdateButtons();
        // A step that threw is not taken for done: the wizard stays on its
        // page.
        if (!failure && then) then();
      });
}

void CWizardRaid::FinishAfterStep() {
  // QWizard::done would ask the page again, which would start the step anew.
  QDialog::done(QDialog::Accepted);
}

QWidget* MakeRaidWizard(ctl::CControllerIo& io, platform::UiServices& ui,
                        std::function<void()> removeAdapterItems) {
  auto* wizard = new CWizardRaid({&io, &ui, std::move(removeAdapterItems)},
                                 platform_qt::LoadBitmap(res::kBitmapWatermark),
                                 platform_qt::LoadBitmap(res::kBitmapHeader));
  // Modal as the frame's other dialogs are opened: without a loop of its own,
  // so that the logger's messages keep coming.
  wizard->setWindowModality(Qt::ApplicationModal);
  return wizard;
}

}  // namespace kestrune::wizard
