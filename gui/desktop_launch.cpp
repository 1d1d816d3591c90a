#include "gui/desktop_launch.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "contract/ascii_text.h"

extern char** environ;

namespace gui {

namespace {

QString FindXdgOpen() { return QStandardPaths::findExecutable(QStringLiteral("xdg-open")); }

bool StartXdgOpen(const QString& what) {
  const QString opener = FindXdgOpen();
  return !opener.isEmpty() && QProcess::startDetached(opener, {what});
}

// Runs xdg-open ($1) on the address ($2) in a background subshell, so that
// the shell we wait for ends at once and the opener is nobody's child of
// ours. When the opener ends, its exit code and what it printed to stderr
// come back through descriptor 3. An opener that runs the browser in the
// foreground reports only when the browser ends, long after we stopped
// listening; its report then goes nowhere.
constexpr char kOpenerScript[] =
    "( err=$(\"$1\" \"$2\" 2>&1 >/dev/null 3>&-); printf '%s\\n%s' \"$?\" \"$err\" >&3 ) &";

constexpr std::size_t kMaxReport = 4096;
constexpr std::size_t kMaxSaid = 300;

class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  void Reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

std::string ErrnoText(int error) { return std::strerror(error); }

// What xdg-open's exit codes mean.
std::string OpenerCodeMeaning(int code) {
  switch (code) {
    case 1: return "xdg-open did not accept the address";
    case 2: return "xdg-open found nothing at the address";
    case 3: return "No web browser is set up on this desktop";
    case 4: return "The web browser could not be started";
    default: return "xdg-open ended with code " + std::to_string(code);
  }
}

// The last line the opener printed, which is where its reason stands.
std::string LastLine(std::string text) {
  text.erase(text.find_last_not_of(" \t\r\n") + 1);  // npos + 1 is 0: all of it
  std::string line = text.substr(text.find_last_of('\n') + 1);
  if (line.size() > kMaxSaid) line = line.substr(0, kMaxSaid) + "...";
  return line;
}

// "CODE\nSTDERR" from the subshell: nothing when the opener succeeded.
std::optional<std::string> ReasonFromReport(const std::string& report) {
  const std::size_t newline = report.find('\n');
  const int code = std::atoi(report.substr(0, newline).c_str());
  if (code == 0) return std::nullopt;
  std::string reason = OpenerCodeMeaning(code);
  const std::string said = newline == std::string::npos ? std::string() : LastLine(report.substr(newline + 1));
  if (!said.empty()) reason += " (" + said + ")";
  return reason + ".";
}

// Starts the opener script with `reportFd` as its descriptor 3 and nothing
// else of ours; waits for the shell, which ends at once. 0 or an errno.
int SpawnOpener(const std::string& opener, const std::string& address, int reportFd) {
  std::string shell = "/bin/sh", dashC = "-c", script = kOpenerScript, name = "sh", program = opener,
              argument = address;
  char* argv[] = {shell.data(), dashC.data(), script.data(), name.data(), program.data(), argument.data(), nullptr};
  posix_spawn_file_actions_t actions;
  if (int error = ::posix_spawn_file_actions_init(&actions); error != 0) return error;
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, reportFd, 3);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 4);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, shell.c_str(), &actions, nullptr, argv, environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return error;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

}  // namespace

DesktopLauncher::DesktopLauncher(FailureReport report)
    : m_report(std::move(report)), m_stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DesktopLauncher::~DesktopLauncher() {
  m_stopping.store(true);
  if (m_stopFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
  }
  {
    std::lock_guard lock(m_mutex);
    for (Launch& launch : m_launches) launch.thread.join();
  }
  if (m_stopFd >= 0) ::close(m_stopFd);
}

bool DesktopLauncher::OpenWebAddress(const std::string& address) {
  if (!IsWebAddress(address)) return false;
  const QString text = QString::fromStdString(address);
  if (QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode))) return true;
  // The second attempt may take a moment to find and start the opener, and
  // is watched for a while after, so it runs beside the window.
  std::lock_guard lock(m_mutex);
  // Launches that have ended are joined here, so they never pile up.
  std::erase_if(m_launches, [](Launch& launch) {
    if (!launch.done->load()) return false;
    launch.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  m_launches.push_back(Launch{std::thread([this, address, done] {
                                const std::optional<std::string> reason = RunOpener(address);
                                if (reason && m_report && !m_stopping.load())
                                  m_report("Couldn't open " + address + " in a web browser.\n\n" + *reason);
                                done->store(true);
                              }),
                              done});
  return true;
}

std::optional<std::string> DesktopLauncher::RunOpener(const std::string& address) const {
  const QString opener = FindXdgOpen();
  if (opener.isEmpty())
    return std::string("No program to open web addresses was found: xdg-open is missing (it comes with xdg-utils).");
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return "xdg-open could not be started: " + ErrnoText(errno) + ".";
  Fd reading(ends[0]), writing(ends[1]);
  // Descriptor 3 of the child is made from this one; it must not be 3 itself.
  if (writing.get() == 3) writing.Reset(::fcntl(3, F_DUPFD_CLOEXEC, 4));
  if (writing.get() < 0) return "xdg-open could not be started: " + ErrnoText(errno) + ".";
  if (const int error = SpawnOpener(opener.toStdString(), address, writing.get()); error != 0)
    return "xdg-open could not be started: " + ErrnoText(error) + ".";
  writing.Reset();

  std::string report;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return std::nullopt;  // still busy: the browser is running
    pollfd watched[2] = {{reading.get(), POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    const int ready = ::poll(watched, m_stopFd >= 0 ? 2 : 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (m_stopFd >= 0 && watched[1].revents != 0)) return std::nullopt;
    if (ready == 0) continue;
    char chunk[512];
    const ssize_t got = ::read(reading.get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    report.append(chunk, static_cast<std::size_t>(got));
    if (report.size() > kMaxReport) break;
  }
  // No report at all: the subshell died before it could say how it went.
  if (report.empty()) return std::nullopt;
  return ReasonFromReport(report);
}

bool DesktopLauncher::OpenFolder(const std::string& folder) {
  const QString path = QString::fromStdString(folder);
  if (path.isEmpty() || !QFileInfo(path).isDir()) return false;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
  return StartXdgOpen(path);
}

bool DesktopLauncher::OpenFile(const std::string& file) {
  const QString path = QString::fromStdString(file);
  if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
  return StartXdgOpen(path);
}

bool DesktopLauncher::StartProgram(const QString& name, const QStringList& arguments) {
  const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
  if (QFileInfo(beside).isExecutable() && QProcess::startDetached(beside, arguments)) return true;
  const QString onPath = QStandardPaths::findExecutable(name);
  return !onPath.isEmpty() && QProcess::startDetached(onPath, arguments);
}

}  // namespace gui
