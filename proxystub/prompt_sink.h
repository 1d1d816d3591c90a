#pragma once

namespace ps {

// Implemented by a sink that can tell whether its DownloadStatus returns at
// once, waiting for nothing but short locks, as a sink that copies the event
// and hands it over does. The calls of such a sink may then run on a thread
// that serves other sinks of the process too.
class PromptSink {
 public:
  virtual bool ReturnsAtOnce() const = 0;

 protected:
  ~PromptSink() = default;
};

}  // namespace ps
