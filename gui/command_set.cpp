#include "gui/command_set.h"

#include "gui/app_icons.h"

namespace gui {

CommandSet::CommandSet(QObject* owner, std::span<const CommandSpec> specs) {
  for (const CommandSpec& spec : specs) {
    auto* action = new QAction(QString::fromUtf8(spec.text), owner);
    action->setData(spec.id);
    if (spec.prompt) {
      const QString prompt = QString::fromUtf8(spec.prompt);
      const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
      action->setStatusTip(split < 0 ? prompt : prompt.left(split));
      if (split >= 0) action->setToolTip(prompt.mid(split + 1));
    }
    if (spec.icon) action->setIcon(ThemeIcon(spec.icon, spec.fallbackIcon));
    if (!spec.key.isEmpty()) action->setShortcut(spec.key);
    action->setCheckable(spec.checkable);
    m_actions.emplace(spec.id, action);
  }
}

QAction* CommandSet::Action(int id) const {
  const auto found = m_actions.find(id);
  return found == m_actions.end() ? nullptr : found->second;
}

void CommandSet::Enable(int id, bool enabled) const {
  if (QAction* action = Action(id); action && action->isEnabled() != enabled) action->setEnabled(enabled);
}

}  // namespace gui
