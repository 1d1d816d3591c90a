// pullwright: the per-user download engine server. Started by the first
// client that asks for the engine; ends about 5 seconds after the last
// client let go. With "-RegServer" or "-UnregServer" it writes or removes
// its registration in the class registry and ends.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "proxystub/class_registry.h"
#include "proxystub/endpoint.h"
#include "proxystub/registration_switch.h"
#include "proxystub/server_endpoint.h"
#include "pullwright/server/engine_class_factory.h"
#include "pullwright/server/server_module.h"

namespace {

// A time in milliseconds from the environment, for tests and measurements.
std::chrono::milliseconds TimeFromEnvironment(const char* name, std::chrono::milliseconds fallback) {
  if (const char* text = std::getenv(name)) {
    const long value = std::strtol(text, nullptr, 10);
    if (value > 0) return std::chrono::milliseconds(value);
  }
  return fallback;
}

// Every client costs the engine a descriptor, and the soft limit it
// inherits is its starter's (1024, or less): it goes up to the hard limit.
// The new soft limit.
std::uint64_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur;
}

int Register() {
  ps::class_registry::RegisterAppId(ps::class_registry::kEngineApp);
  return ps::class_registry::RegisterClass(ps::class_registry::RunningProgramPath()) ? 0 : 1;
}

int Unregister() {
  ps::class_registry::UnregisterAppId(ps::class_registry::kEngineApp);
  return ps::class_registry::UnregisterClass() ? 0 : 1;
}

int Serve() {
  // A client's read buffer (a quarter of a megabyte) is taken while it is
  // active and freed while it is quiet. Mapped on its own, it goes back to
  // the system when freed; the default threshold would rise after the first
  // such free and keep them in the heap for good.
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::string problem;
  if (!ps::endpoint::PrepareFolder(&problem)) {
    std::fprintf(stderr, "pullwright: %s\n", problem.c_str());
    return 1;
  }
  const std::uint64_t descriptors = RaiseDescriptorLimit();
  // How long the server stays after its last client let go, or unclaimed
  // after its start, how long an engine thread waits for a sink's answer
  // before it gives the sink up (one stalled client costs the others that
  // once), and how long a new client may stay silent; tests shorten them.
  CServerModule module(TimeFromEnvironment("PULLWRIGHT_IDLE_MS", CServerModule::kIdleTime),
                       TimeFromEnvironment("PULLWRIGHT_UNCLAIMED_MS", CServerModule::kUnclaimedTime));
  CEngineClassFactory factory(module, EngineOptions{});
  ps::ConnectionOptions options;
  options.callTimeout = TimeFromEnvironment("PULLWRIGHT_SINK_TIMEOUT_MS", std::chrono::milliseconds(2000));
  ps::ServerLimits limits;
  limits.maxConnections = ps::ConnectionCapFor(descriptors);
  limits.firstFrameTime = TimeFromEnvironment("PULLWRIGHT_FIRST_FRAME_MS", limits.firstFrameTime);
  auto endpoint = ps::ServerEndpoint::Open(factory, options, limits);
  // Another server holds the lock: it serves, this one is not needed.
  if (!endpoint) return 0;
  module.StartMonitor(*endpoint);
  module.WaitForQuit();

  factory.Revoke();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  // Connections that are left hold nothing of the engine's; closing them
  // first means no worker waits on a sink while the engine stops.
  endpoint->Suspend();
  endpoint->CloseAll();
  factory.ReleaseEngine();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  switch (ps::FindRegistrationSwitch(arguments)) {
    case ps::RegistrationSwitch::RegServer:
      return Register();
    case ps::RegistrationSwitch::UnregServer:
      return Unregister();
    case ps::RegistrationSwitch::None:
      break;
  }
  return Serve();
}
