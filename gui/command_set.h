#pragma once

#include <QAction>
#include <QKeySequence>
#include <QStyle>
#include <initializer_list>
#include <map>
#include <span>

// A program's commands: one QAction per numeric command id, made from a
// table, with the menu text, the status-bar prompt and tooltip (a string
// table's "prompt\ntooltip" form), a theme icon and a key. Whoever owns a
// command connects its action; the idle refresh sets what is enabled.
namespace gui {

struct CommandSpec {
  int id;
  const char* text;                    // menu text with its mnemonic
  const char* prompt = nullptr;        // "prompt\ntooltip", either part may be empty
  const char* icon = nullptr;          // freedesktop icon name
  QStyle::StandardPixmap fallbackIcon = QStyle::SP_CustomBase;
  QKeySequence key = {};
  bool checkable = false;
};

class CommandSet {
 public:
  CommandSet(QObject* owner, std::span<const CommandSpec> specs);

  // The command's action; null for an id not in the table.
  QAction* Action(int id) const;
  QAction* operator[](int id) const { return Action(id); }

  // Enables or disables a command, without a signal when nothing changes.
  void Enable(int id, bool enabled) const;

  // Adds the commands to a menu or a toolbar in order; 0 is a separator.
  template <class Bar>
  void Fill(Bar* bar, std::initializer_list<int> ids) const {
    for (int id : ids) {
      if (id == 0)
        bar->addSeparator();
      else
        bar->addAction(Action(id));
    }
  }

 private:
  std::map<int, QAction*> m_actions;
};

}  // namespace gui
