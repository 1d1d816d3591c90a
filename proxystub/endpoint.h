#pragma once

#include <chrono>
#include <string>

// Where the per-user engine listens, and the locks around starting it. The
// folder is the user's runtime folder (or a private one under /tmp) and is
// reachable by its owner only.
namespace ps::endpoint {

// $XDG_RUNTIME_DIR/pullwright, or /tmp/pullwright-<uid> without one; read
// from the environment at every call.
std::string Folder();
std::string SocketPath();
// Held by the server for as long as it accepts clients.
std::string ServerLockPath();
// Taken in turn by clients while they try to connect and start a server.
std::string StartLockPath();

// Creates the folder with mode 0700, or checks that an existing one is a
// real folder (not a link) of this user, closing it to others when it was
// open to them. Links and entries of other users found in it are removed:
// they were planted while it was open. False, with a sentence naming the
// folder in `problem`, when the folder cannot be used.
bool PrepareFolder(std::string* problem = nullptr);

// Connects to the engine's socket; -1 when nothing answers there or when
// the process at the other end runs as another user.
int Connect();

// True when the peer of a connected Unix socket runs as this user.
bool PeerIsSameUser(int fd);

// An exclusive lock on a file in the folder, held while the object lives.
// The file is never reached through a link and must be a regular file of
// this user.
class FileLock {
 public:
  // Tries for at most `wait` (once for zero); held() tells the outcome.
  FileLock(const std::string& path, std::chrono::milliseconds wait);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return m_fd >= 0; }
  void Release();

 private:
  int m_fd = -1;
};

}  // namespace ps::endpoint
