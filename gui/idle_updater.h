#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <vector>

// The idle-time refresh of command states and status panes: every time the
// interface thread's event loop has handled what was pending and is about to
// wait, each registered update runs. Updates read the documents and set what
// changed; they must be cheap, as they run after every burst of events.
//
// Another thread that changed something the windows show calls Wake(): an
// empty event, posted at most once until the refresh has run, makes the loop
// turn over and so refresh.
namespace gui {

class IdleUpdater final : public QObject {
 public:
  explicit IdleUpdater(QObject* parent = nullptr);

  // `update` runs on every refresh for as long as `context` lives.
  void Add(QObject* context, std::function<void()> update);
  // Any thread.
  void Wake();
  // Runs every update now. Interface thread.
  void Refresh();

 protected:
  bool event(QEvent* event) override;

 private:
  struct Update {
    QPointer<QObject> context;
    std::function<void()> run;
  };
  std::vector<Update> m_updates;
  std::atomic<bool> m_wakePending{false};
  bool m_refreshing = false;
};

}  // namespace gui
