// Dialogs declared by forms: every dialog and property page is a Qt Designer
// form in resources/dialogs (one per dialog template) whose root carries the
// template number as the property "templateId" and whose controls carry their
// ids as "commandId". After setupUi the form's texts are taken from the
// language module, and the window is sized so that its caption and texts fit
// the platform's fonts. docs/style.md shows the whole declaration.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

namespace kestrune::platform_qt {

// The property that carries a form's dialog template number.
inline constexpr char kTemplateIdProperty[] = "templateId";

// The template number a form's root carries; nothing when it has none.
std::optional<unsigned> TemplateIdOf(const QObject* root);

// Replaces the form's texts with those the current language module has for
// its template ("1000.okButton.text", "1000.windowTitle"); texts the module
// lacks keep the form's own. Entries naming an object or a text property the
// form does not have are ignored. Nothing happens for a root without a
// template number.
void LocalizeForm(QWidget* root);

// setupUi, then LocalizeForm: the first two steps of every form's constructor.
template <typename Form, typename Root>
void SetUpForm(Form& form, Root* root) {
  form.setupUi(root);
  LocalizeForm(root);
}

// The width a top-level window needs for its caption to be shown whole: the
// caption in the title-bar font (bold, as most window managers draw it) plus
// room for the window icon, the frame's buttons and its borders.
int CaptionMinimumWidth(const QString& caption);

// Makes a window keep its caption and texts whole: its minimum width becomes
// the larger of what its layout needs and CaptionMinimumWidth, and it grows to
// at least its minimum and preferred size. It is done now and again whenever
// the title, the font or the layout's needs change, so texts set in code after
// this call are covered too. The last step of every dialog's constructor
// (property pages leave it to their sheet).
void FitToTexts(QWidget* window);

}  // namespace kestrune::platform_qt
