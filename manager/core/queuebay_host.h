#pragma once

// What the download manager's document needs of its windows. The window
// layer implements it with posted events; tests with a recorder.
class IQueuebayHost {
 public:
  virtual ~IQueuebayHost() = default;

  // Whether the document has a view to hand records to. Any thread.
  virtual bool HasView() const = 0;
  // Records wait in the document's hand-over, or the engine went away or
  // was connected anew: the view takes the records, shows the downloading
  // state and loads an outdated list, when it next can. Called once until
  // the view has taken the records, and at each change of the engine. Any
  // thread.
  virtual void WakeView() = 0;
  // The download status text changed without a record to carry it: the
  // idle refresh shows it. Any thread.
  virtual void WakeIdleRefresh() {}
};
