#include "platform_qt/forms.h"

#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLayout>
#include <QListWidget>
#include <QMetaProperty>
#include <algorithm>
#include <string>

#include "platform_qt/qt_ui_services.h"
#include "resources/language_module.h"

namespace kestrune::platform_qt {

namespace {

// "item<N>": the N-th entry of a combo or list box.
bool SetItemText(QObject* target, const std::string& property, const QString& text) {
  bool ok = false;
  const int index = QString::fromStdString(property.substr(4)).toInt(&ok);
  if (!ok || index < 0) return false;
  if (auto* combo = qobject_cast<QComboBox*>(target); combo != nullptr && index < combo->count()) {
    combo->setItemText(index, text);
    return true;
  }
  if (auto* list = qobject_cast<QListWidget*>(target); list != nullptr && index < list->count()) {
    list->item(index)->setText(text);
    return true;
  }
  return false;
}

// Only existing string properties are written, so a misspelt entry cannot
// add a stray dynamic property.
void SetText(QObject* target, const std::string& property, const QString& text) {
  if (property.rfind("item", 0) == 0 && property.size() > 4 &&
      property.find_first_not_of("0123456789", 4) == std::string::npos) {
    SetItemText(target, property, text);
    return;
  }
  const QMetaObject* meta = target->metaObject();
  const int index = meta->indexOfProperty(property.c_str());
  if (index < 0) return;
  const QMetaProperty metaProperty = meta->property(index);
  if (metaProperty.metaType().id() != QMetaType::QString || !metaProperty.isWritable()) return;
  metaProperty.write(target, text);
}

// Keeps one window fitted to its texts; lives as the window's child.
class TextFitter final : public QObject {
 public:
  explicit TextFitter(QWidget* window) : QObject(window), window_(window) {
    setObjectName(QStringLiteral("kestrune-text-fitter"));
    window->installEventFilter(this);
  }

  void Fit() {
    if (fitting_) return;
    fitting_ = true;
    QLayout* layout = window_->layout();
    const QSize layoutMinimum = layout != nullptr ? layout->totalMinimumSize() : QSize();
    const int width = std::max(layoutMinimum.width(), CaptionMinimumWidth(window_->windowTitle()));
    if (window_->minimumWidth() != width) window_->setMinimumWidth(width);
    // An explicit minimum width stops the layout from setting the minimum
    // height itself: a window whose content grows later (the configuration
    // window's pages) must still grow to show it whole.
    if (layoutMinimum.height() > window_->minimumHeight())
      window_->setMinimumHeight(layoutMinimum.height());
    QSize size = window_->size().expandedTo(window_->minimumSize());
    // Until it is shown the window takes its preferred size; afterwards it
    // only grows where it must, so the user's own resizing stays.
    if (!window_->isVisible()) size = window_->sizeHint().expandedTo(window_->minimumSize());
    if (size != window_->size()) window_->resize(size);
    fitting_ = false;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_) {
      switch (event->type()) {
        case QEvent::WindowTitleChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::Show:
          Fit();
          break;
        case QEvent::LayoutRequest:
          // The layout takes the request after this filter; fit afterwards.
          QMetaObject::invokeMethod(
              this, [this] { Fit(); }, Qt::QueuedConnection);
          break;
        default:
          break;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget* window_;
  bool fitting_ = false;
};

}  // namespace

std::optional<unsigned> TemplateIdOf(const QObject* root) {
  if (root == nullptr) return std::nullopt;
  const QVariant value = root->property(kTemplateIdProperty);
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const unsigned id = value.toUInt(&ok);
  return ok ? std::optional<unsigned>(id) : std::nullopt;
}

void LocalizeForm(QWidget* root) {
  const auto templateId = TemplateIdOf(root);
  if (!templateId) return;
  const std::vector<res::DialogText>* texts = res::ModuleDialogTexts(*templateId);
  if (texts == nullptr) return;
  for (const res::DialogText& entry : *texts) {
    QObject* target = root;
    if (!entry.object.empty()) {
      target = root->findChild<QObject*>(QString::fromStdString(entry.object));
      if (target == nullptr) continue;
    }
    SetText(target, entry.property, ToQString(entry.text));
  }
}

int CaptionMinimumWidth(const QString& caption) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const QFontMetrics metrics(font);
  // Window managers draw their buttons about as tall as the title bar, which
  // is a little taller than its text: the icon at the left and up to three
  // buttons (minimise, maximise, close) at the right, each with a gap, and the
  // frame's borders.
  const int button = metrics.height() + 8;
  return metrics.horizontalAdvance(caption) + 4 * (button + 4) + 2 * 8;
}

void FitToTexts(QWidget* window) {
  if (window == nullptr) return;
  // The fitter has no meta-object of its own, so it is found by name.
  QObject* existing = window->findChild<QObject*>(QStringLiteral("kestrune-text-fitter"),
                                                  Qt::FindDirectChildrenOnly);
  auto* fitter = existing != nullptr ? static_cast<TextFitter*>(existing) : new TextFitter(window);
  fitter->Fit();
}

}  // namespace kestrune::platform_qt
