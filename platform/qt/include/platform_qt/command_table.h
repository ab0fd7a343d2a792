// Command routing written once: each window maps command and control ids to
// its member handlers in a table, and what a window does not handle goes on
// to the next target (configuration window -> main frame -> application).
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace kestrune::platform_qt {

// The property that carries a control's or action's id. Forms set it on
// their controls (a dynamic property in the .ui); code sets it with
// SetCommandId. Tests find controls by it (FindById), whatever their names.
inline constexpr char kCommandIdProperty[] = "commandId";

// Something commands are routed to.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;

  // Own handler first, then the next target along the chain. True when some
  // target handled the id.
  bool RouteCommand(unsigned id) {
    for (CommandTarget* target = this; target != nullptr; target = target->next_) {
      if (target->HandleCommand(id)) return true;
    }
    return false;
  }
  void SetNextCommandTarget(CommandTarget* next) { next_ = next; }
  CommandTarget* NextCommandTarget() const { return next_; }

 protected:
  // This target's own handlers only (usually `return kTable.Dispatch(*this, id);`).
  virtual bool HandleCommand(unsigned id) = 0;

 private:
  CommandTarget* next_ = nullptr;
};

// A message table: id -> member handler. Handlers take no argument or the id.
// The first entry for an id wins; a range entry covers first..last.
template <typename Owner>
class CommandTable {
 public:
  using Plain = void (Owner::*)();
  using WithId = void (Owner::*)(unsigned);

  struct Entry {
    Entry(unsigned id, Plain handler) : first(id), last(id), plain(handler) {}
    Entry(unsigned id, WithId handler) : first(id), last(id), withId(handler) {}
    Entry(unsigned firstId, unsigned lastId, WithId handler)
        : first(firstId), last(lastId), withId(handler) {}
    unsigned first;
    unsigned last;
    Plain plain = nullptr;
    WithId withId = nullptr;
  };

  CommandTable(std::initializer_list<Entry> entries) : entries_(entries) {}

  bool Handles(unsigned id) const { return Find(id) != nullptr; }

  // Runs the owner's handler for id; false when this table has none (the
  // caller then passes the id on).
  bool Dispatch(Owner& owner, unsigned id) const {
    const Entry* entry = Find(id);
    if (entry == nullptr) return false;
    if (entry->plain != nullptr) {
      (owner.*(entry->plain))();
    } else if (entry->withId != nullptr) {
      (owner.*(entry->withId))(id);
    }
    return true;
  }

 private:
  const Entry* Find(unsigned id) const {
    for (const Entry& entry : entries_) {
      if (id >= entry.first && id <= entry.last) return &entry;
    }
    return nullptr;
  }

  std::vector<Entry> entries_;
};

// Tags an object with its id: the property "commandId" and, when the object
// has no name yet, the object name "<id>" (a readable name is kept).
void SetCommandId(QObject* object, unsigned id);
std::optional<unsigned> CommandIdOf(const QObject* object);

// An action or push button that carries its id; when target is given,
// triggering or clicking routes the id to it.
QAction* MakeAction(QObject* parent, unsigned id, const QString& text,
                    CommandTarget* target = nullptr);
QPushButton* MakeButton(QWidget* parent, unsigned id, const QString& text,
                        CommandTarget* target = nullptr);
// Routes an existing action's or button's id to target on trigger or click.
void ConnectCommand(QAction* action, CommandTarget* target);
void ConnectCommand(QAbstractButton* button, CommandTarget* target);

// The first object of type T under root (root included, depth first) that
// carries id; nullptr when none does. Actions are found as children of the
// widgets and menus that own them.
QObject* FindObjectById(QObject* root, unsigned id);
template <typename T = QWidget>
T* FindById(QObject* root, unsigned id) {
  if (root == nullptr) return nullptr;
  if (auto* self = qobject_cast<T*>(root); self != nullptr && CommandIdOf(root) == id) return self;
  for (T* child : root->findChildren<T*>()) {
    if (CommandIdOf(child) == id) return child;
  }
  return nullptr;
}

}  // namespace kestrune::platform_qt
