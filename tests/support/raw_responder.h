#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_server.h"

// A bare socket server for answers cpp-httplib cannot give (HTTP/1.0, broken
// status lines, nothing at all). One request per connection: it reads the
// request head, records it, writes the scripted bytes, then closes, or holds
// the connection until the client closes it or the responder stops.
class RawResponder {
 public:
  struct Answer {
    std::string bytes;
    bool hold = false;
  };
  using Respond = std::function<Answer(const RecordedRequest&)>;

  explicit RawResponder(Respond respond);
  ~RawResponder();
  RawResponder(const RawResponder&) = delete;
  RawResponder& operator=(const RawResponder&) = delete;

  int port() const { return m_port; }

 private:
  void AcceptLoop();
  void Serve(int socket);

  Respond m_respond;
  int m_listener = -1;
  int m_port = 0;
  int m_stopPipe[2] = {-1, -1};  // readable once the responder stops
  std::thread m_acceptor;
  std::mutex m_lock;
  std::vector<std::thread> m_connections;
};
