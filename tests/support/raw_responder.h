#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_server.h"

// A bare socket server for answers cpp-httplib cannot give (HTTP/1.0, broken
// status lines, nothing at all, resets, bytes beyond an answer's end). It
// reads a request head, records it, writes the scripted bytes, then closes,
// resets, holds the connection until the client closes it or the responder
// stops, or (keepAlive) waits for the next request on it.
class RawResponder {
 public:
  struct Answer {
    std::string bytes;
    bool hold = false;
    bool reset = false;
    bool keepAlive = false;
    // Written before the next answer on a kept-alive connection.
    std::string overrun;
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
