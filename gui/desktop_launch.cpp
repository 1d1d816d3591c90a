#include "gui/desktop_launch.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "contract/ascii_text.h"

namespace gui {

namespace {

bool StartXdgOpen(const QString& what) {
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  return !opener.isEmpty() && QProcess::startDetached(opener, {what});
}

}  // namespace

DesktopLauncher::~DesktopLauncher() {
  std::lock_guard lock(m_mutex);
  for (Launch& launch : m_launches) launch.thread.join();
}

bool DesktopLauncher::OpenWebAddress(const std::string& address) {
  if (!IsWebAddress(address)) return false;
  const QString text = QString::fromStdString(address);
  if (QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode))) return true;
  // The second attempt may take a moment to find and start the opener, so
  // it runs beside the window; its outcome is not reported.
  std::lock_guard lock(m_mutex);
  // Launches that have ended are joined here, so they never pile up.
  std::erase_if(m_launches, [](Launch& launch) {
    if (!launch.done->load()) return false;
    launch.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  m_launches.push_back(Launch{std::thread([text, done] {
                                StartXdgOpen(text);
                                done->store(true);
                              }),
                              done});
  return true;
}

bool DesktopLauncher::OpenFolder(const std::string& folder) {
  const QString path = QString::fromStdString(folder);
  if (path.isEmpty() || !QFileInfo(path).isDir()) return false;
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
