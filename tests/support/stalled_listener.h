#pragma once

// A port on 127.0.0.1 where connection attempts hang: its listener never
// accepts and its queue is already full, so the kernel drops further
// handshakes instead of refusing them. Clients stay in their connect until
// their own time limit or a close ends it.
class StalledListener {
 public:
  StalledListener();
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  int port() const { return m_port; }

 private:
  int m_listener = -1;
  int m_filler = -1;  // the one connection the queue holds
  int m_port = 0;
};
