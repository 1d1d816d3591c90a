#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "proxystub/connection.h"
#include "proxystub/endpoint.h"
#include "proxystub/server_session.h"

namespace ps {

// Serves one connected client socket: object 0 is the class factory of
// `host`, and whatever the client held is given back when it goes.
std::shared_ptr<Connection> ServeClient(int fd, IClassFactoryHost& host, ConnectionOptions options);

// The server's side of the endpoint: it holds the server lock, listens on
// the socket and gives every accepted client of the same user a connection
// whose object 0 is the class factory.
class ServerEndpoint {
 public:
  // Null when another server holds the server lock (it lives and serves)
  // or when the socket cannot be made.
  static std::unique_ptr<ServerEndpoint> Open(IClassFactoryHost& host, ConnectionOptions options);
  ~ServerEndpoint();

  // Stops accepting: the socket file goes, then the server lock, so a later
  // client starts a fresh server. Existing connections go on.
  void Suspend();
  // Accepts again if no other server took over meanwhile.
  bool Resume();
  bool IsAccepting() const;
  // Whether any client is connected, whether or not it holds anything.
  bool HasClients() const;
  // Closes every connection and waits for their threads.
  void CloseAll();

 private:
  ServerEndpoint(IClassFactoryHost& host, ConnectionOptions options) : m_host(host), m_options(options) {}
  bool Listen();
  void StopListening();
  void AcceptLoop(int listenFd, int wakeFd);
  void Serve(int fd);

  IClassFactoryHost& m_host;
  const ConnectionOptions m_options;
  mutable std::mutex m_mutex;
  std::unique_ptr<endpoint::FileLock> m_serverLock;
  int m_listenFd = -1;
  int m_wakeFd = -1;  // an eventfd that ends the accept loop
  std::thread m_acceptThread;
  std::vector<std::weak_ptr<Connection>> m_connections;
};

}  // namespace ps
