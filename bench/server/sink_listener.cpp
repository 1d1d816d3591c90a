// sink_listener: a second client for the server benchmark. It connects to
// the engine as a window does (creates it, advises a sink that counts the
// events), prints "ready" and stays until its standard input closes.
#include <cstdio>
#include <iostream>
#include <string>

#include <atomic>

#include "proxystub/engine_connection.h"

namespace {

struct CountingSink : ICallbackItf {
  std::atomic<unsigned long> events{0};
  HRESULT DownloadStatus(std::uint32_t, const char*, const _LinkStructType&) override {
    events.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
};

}  // namespace

int main() {
  CountingSink sink;
  {
    ps::EngineConnection connection;
    HRESULT hr = connection.CreateEngine();
    if (SUCCEEDED(hr)) hr = connection.AdviseSink(&sink, {}, ps::EngineConnection::Pace::ReturnsAtOnce);
    if (FAILED(hr)) {
      std::fprintf(stderr, "sink_listener: no engine (0x%08X)\n", static_cast<unsigned>(hr));
      return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
  }
  ps::CloseClientConnection();
  std::fprintf(stderr, "sink_listener: %lu events\n", sink.events.load());
  return 0;
}
