// Downloads one address through an in-process engine with N connected sinks
// (each counting the events it gets) and prints the seconds from the call
// to the transfer's last event. Usage: engine_bench URL FOLDER SINKS
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "contract/status.h"
#include "pullwright/download_engine.h"

namespace {

class CountingSink : public ICallbackItf {
 public:
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char*, const _LinkStructType&) override {
    std::lock_guard lock(m_mutex);
    ++m_events;
    if (dwStatus == STATUS_DONE) {
      m_done = true;
      m_changed.notify_all();
    }
    return S_OK;
  }
  void WaitDone() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done; });
  }
  unsigned long events() {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  unsigned long m_events = 0;
  bool m_done = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: engine_bench URL FOLDER SINKS\n");
    return 2;
  }
  const std::string url = argv[1];
  std::string folder = argv[2];
  if (folder.back() != '/') folder += '/';
  const int sinkCount = std::atoi(argv[3]);

  auto engine = CDownloadEngine::Create();
  if (engine->SetDLDir(folder.c_str()) != S_OK) {
    std::fprintf(stderr, "cannot use %s\n", folder.c_str());
    return 1;
  }
  std::shared_ptr<IConnectionPoint> point;
  engine->FindConnectionPoint(IID_ICallbackItf, &point);
  std::vector<std::shared_ptr<CountingSink>> sinks;
  for (int i = 0; i < sinkCount; ++i) {
    sinks.push_back(std::make_shared<CountingSink>());
    std::uint32_t cookie = 0;
    point->Advise(sinks.back(), &cookie);
  }

  const auto start = std::chrono::steady_clock::now();
  engine->DownloadFile("engine_bench.bin", url.c_str());
  for (auto& sink : sinks) sink->WaitDone();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", elapsed.count());
  for (auto& sink : sinks) std::fprintf(stderr, "sink events: %lu\n", sink->events());
  return 0;
}
