#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "proxystub/connection.h"
#include "proxystub/endpoint.h"
#include "proxystub/server_session.h"

namespace ps {

// Serves one connected client socket: object 0 is the class factory of
// `host`, and whatever the client held is given back when it goes. A quiet
// client costs no thread (parkAfter is one second unless set).
std::shared_ptr<Connection> ServeClient(int fd, IClassFactoryHost& host, ConnectionOptions options);

// How many clients the server serves at once, and how long a new one may
// stay silent.
struct ServerLimits {
  // Clients served at once. One more takes the place of the oldest that
  // has not spoken yet; when every one has, the newcomer is closed.
  std::size_t maxConnections = 256;
  // A client that sent no valid frame this long after it was accepted is
  // closed. One that has spoken is never closed for being quiet.
  std::chrono::milliseconds firstFrameTime{5000};
};

// The connection cap for a process allowed `descriptors` open files: a
// quarter of them, and at least 64, stay for the engine's own files,
// transfers and settings.
std::size_t ConnectionCapFor(std::uint64_t descriptors);

// The server's side of the endpoint: it holds the server lock, listens on
// the socket and gives every accepted client of the same user a connection
// whose object 0 is the class factory.
class ServerEndpoint {
 public:
  // Null when another server holds the server lock (it lives and serves)
  // or when the socket cannot be made.
  static std::unique_ptr<ServerEndpoint> Open(IClassFactoryHost& host, ConnectionOptions options,
                                              ServerLimits limits = {});
  ~ServerEndpoint();

  // Stops accepting: the socket file goes, then the server lock, so a later
  // client starts a fresh server. Existing connections go on.
  void Suspend();
  // Accepts again if no other server took over meanwhile.
  bool Resume();
  bool IsAccepting() const;
  // Whether any client is connected, whether or not it holds anything.
  bool HasClients() const;
  // Closes every connection and waits for their threads (and the
  // poller's, when no other connection of the process is watched).
  void CloseAll();

 private:
  using Clock = std::chrono::steady_clock;
  struct Client {
    std::weak_ptr<Connection> connection;
    Clock::time_point acceptedAt;
  };

  ServerEndpoint(IClassFactoryHost& host, ConnectionOptions options, ServerLimits limits)
      : m_host(host), m_options(options), m_limits(limits) {}
  bool Listen();
  void StopListening();
  void AcceptLoop(int listenFd, int wakeFd);
  // Serves `fd` within the cap, making room by closing a silent client.
  void Admit(int fd);
  // The oldest client that has not spoken and has nothing waiting to be
  // read, if any.
  std::shared_ptr<Connection> OldestSilentLocked();
  // Closes the clients that stayed silent past their time; when the next
  // one's time runs out (max when none waits).
  Clock::time_point CloseSilent(Clock::time_point now);

  IClassFactoryHost& m_host;
  const ConnectionOptions m_options;
  const ServerLimits m_limits;
  mutable std::mutex m_mutex;
  std::unique_ptr<endpoint::FileLock> m_serverLock;
  int m_listenFd = -1;
  int m_wakeFd = -1;  // an eventfd that ends the accept loop
  std::thread m_acceptThread;
  std::vector<Client> m_clients;  // in the order they were accepted
};

}  // namespace ps
