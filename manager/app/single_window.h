#pragma once

#include <sys/types.h>

#include <QObject>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;

namespace queuebay {

// One Queuebay per user: the first to start listens on a local socket in
// the user's private runtime folder, later starts hand their addresses over
// and end.
//
// A hand-over is the addresses as lines, each ending with "\n", then an
// empty line; the running Queuebay answers "ok\n" once it has taken them.
// The listener trusts no peer: a peer of another user, a request over
// kMaxRequestBytes or kMaxLines lines, or one unfinished after
// kReceiveLimit, is closed without an answer; a line over kMaxLineBytes or
// holding a control byte is dropped and the rest taken.
class SingleWindow final : public QObject {
 public:
  using AddressesHandler = std::function<void(const std::vector<std::string>& addresses)>;

  static constexpr std::size_t kMaxRequestBytes = 1 << 20;
  static constexpr std::size_t kMaxLines = 10000;
  static constexpr std::size_t kMaxLineBytes = 259;
  static constexpr std::chrono::milliseconds kReceiveLimit{2000};

  // ps::endpoint::Folder() + "/queuebay.sock"
  static std::string SocketPath();

  explicit SingleWindow(QObject* parent = nullptr);
  // Stops listening and removes its socket file (not one that replaced it).
  ~SingleWindow() override;

  // Under the start lock: hands `addresses` to a running Queuebay and gives
  // true when it confirmed them (this process then ends); otherwise starts
  // listening and gives false. Blocking is fine here: it runs before any
  // window exists. A running Queuebay that does not answer within `wait`
  // counts as none, and its socket is replaced. Addresses that no listener
  // takes (see above) are left out of the hand-over, and so are those past
  // the request's limits. Call it on the interface thread, after the
  // application object exists: the listener lives there.
  bool HandOverOrListen(const std::vector<std::string>& addresses,
                        std::chrono::milliseconds wait = std::chrono::seconds(3));

  // Runs on the interface thread for every hand-over received (an empty
  // list too: then only raise). Hand-overs that came before a handler was
  // set are given to it now, in order.
  void SetHandler(AddressesHandler handler);

  bool Listening() const;

  // Whether a listener takes this line as an address.
  static bool AcceptableLine(const std::string& line);

 private:
  void Listen();
  void Accept();
  void Deliver(std::vector<std::string> addresses);

  QLocalServer* m_server = nullptr;
  // Where it listens, kept: the runtime folder is read from the environment.
  std::string m_socketPath;
  std::string m_lockPath;
  // The socket file this object made, told apart from one that replaced it.
  dev_t m_socketDevice = 0;
  ino_t m_socketInode = 0;
  AddressesHandler m_handler;
  std::vector<std::vector<std::string>> m_waiting;  // received before a handler was set
};

}  // namespace queuebay
