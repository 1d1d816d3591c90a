#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "contract/interfaces.h"
#include "proxystub/connection.h"

namespace ps {

struct ActivationOptions {
  // How long a client waits for a server it started to accept.
  std::chrono::milliseconds startWait{10000};
  // How long a client waits for another client that is starting a server.
  std::chrono::milliseconds startLockWait{15000};
  ConnectionOptions connection{};
};

// Creates the engine in the per-user server: connects to the running
// server, or starts the registered one (one client at a time, so that
// clients starting together get the same server), then asks its class
// factory for the engine. Fails with REGDB_E_CLASSNOTREG when no server is
// registered, CO_E_SERVER_EXEC_FAILURE when it cannot be started or does
// not come up in time, E_ACCESSDENIED at once when the engine's folder is a
// link or another user's. All engines of one process share one connection.
HRESULT CreateDownloadEngine(std::shared_ptr<IDownloadEngine>* ppEngine, const ActivationOptions& options = {});

// Why the last creation on this thread failed, as a sentence that names
// what was refused (the engine's folder, say); empty when there is no more
// to say than the result.
std::string LastActivationError();

// Asks the class factory at the other end of `connection` for the engine.
HRESULT CreateEngineOver(const std::shared_ptr<Connection>& connection, std::shared_ptr<IDownloadEngine>* ppEngine);

// Closes this process's connection to the server and waits for its threads:
// every proxy of it fails from then on. For orderly ends of programs and
// tests.
void CloseClientConnection();

}  // namespace ps
