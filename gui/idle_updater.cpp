#include "gui/idle_updater.h"

#include <QAbstractEventDispatcher>
#include <QThread>
#include <algorithm>

#include "gui/posted_event.h"

namespace gui {

namespace {
// An empty message that only makes the loop turn over.
constexpr std::uint32_t kWakeMessage = 0xF0FF;
using WakeEvent = MessageEvent<kWakeMessage>;
}  // namespace

IdleUpdater::IdleUpdater(QObject* parent) : QObject(parent) {
  connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
          &IdleUpdater::Refresh);
}

void IdleUpdater::Add(QObject* context, std::function<void()> update) {
  m_updates.push_back(Update{context, std::move(update)});
}

void IdleUpdater::Wake() {
  if (!m_wakePending.exchange(true)) Post<WakeEvent>(this);
}

bool IdleUpdater::event(QEvent* event) {
  if (Received<WakeEvent>(event)) {
    // Cleared before the refresh, so a change made while it runs wakes it again.
    m_wakePending = false;
    return true;  // the refresh follows as the loop goes idle
  }
  return QObject::event(event);
}

void IdleUpdater::Refresh() {
  // An update that opens a nested loop (it should not) must not run itself again.
  if (m_refreshing) return;
  m_refreshing = true;
  std::erase_if(m_updates, [](const Update& update) { return update.context.isNull(); });
  for (std::size_t i = 0; i < m_updates.size(); ++i)
    if (m_updates[i].context) m_updates[i].run();
  m_refreshing = false;
}

}  // namespace gui
