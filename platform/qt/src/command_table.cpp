#include "platform_qt/command_table.h"

namespace kestrune::platform_qt {

void SetCommandId(QObject* object, unsigned id) {
  if (object == nullptr) return;
  object->setProperty(kCommandIdProperty, id);
  // A readable name (a form's, the member uic makes) stays.
  if (object->objectName().isEmpty()) object->setObjectName(QString::number(id));
}

std::optional<unsigned> CommandIdOf(const QObject* object) {
  if (object == nullptr) return std::nullopt;
  const QVariant value = object->property(kCommandIdProperty);
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const unsigned id = value.toUInt(&ok);
  return ok ? std::optional<unsigned>(id) : std::nullopt;
}

void ConnectCommand(QAction* action, CommandTarget* target) {
  if (action == nullptr || target == nullptr) return;
  QObject::connect(action, &QAction::triggered, action, [action, target] {
    if (auto id = CommandIdOf(action)) target->RouteCommand(*id);
  });
}

void ConnectCommand(QAbstractButton* button, CommandTarget* target) {
  if (button == nullptr || target == nullptr) return;
  QObject::connect(button, &QAbstractButton::clicked, button, [button, target] {
    if (auto id = CommandIdOf(button)) target->RouteCommand(*id);
  });
}

QAction* MakeAction(QObject* parent, unsigned id, const QString& text, CommandTarget* target) {
  auto* action = new QAction(text, parent);
  SetCommandId(action, id);
  ConnectCommand(action, target);
  return action;
}

QPushButton* MakeButton(QWidget* parent, unsigned id, const QString& text, CommandTarget* target) {
  auto* button = new QPushButton(text, parent);
  SetCommandId(button, id);
  ConnectCommand(button, target);
  return button;
}

QObject* FindObjectById(QObject* root, unsigned id) {
  return FindById<QObject>(root, id);
}

}  // namespace kestrune::platform_qt
