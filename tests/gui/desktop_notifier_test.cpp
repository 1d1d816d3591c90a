// Desktop notices against a stand-in notification service on a bus of the
// test's own, started from the real dbus-daemon.
#include "gui/desktop_notifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QStandardPaths>
#include <memory>
#include <mutex>

#include "tests/support/child_process.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using gui::DesktopNotifier;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// Records every Notify call and answers with ids 1, 2, ...; says it shows
// actions and reads the body as markup, as the usual desktops do.
class StandInService final : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() == QLatin1String("GetCapabilities"))
      return connection.send(
          message.createReply(QStringList{QStringLiteral("actions"), QStringLiteral("body-markup")}));
    if (message.member() != QLatin1String("Notify")) return false;
    std::lock_guard lock(m_mutex);  // QtDBus may call from its own thread
    m_calls.push_back(message.arguments());
    return connection.send(message.createReply(QVariant::fromValue(uint(m_calls.size()))));
  }
  std::vector<QVariantList> Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<QVariantList> m_calls;
};

class DesktopNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed (package dbus)";
    // No service folders: the bus must not start a real notification service.
    WriteFile(m_folder.file("bus.conf"),
              "<busconfig><type>session</type><listen>unix:tmpdir=" + m_folder.path() +
                  "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                  "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    m_daemon = std::make_unique<ChildProcess>(std::vector<std::string>{
        daemon.toStdString(), "--config-file=" + m_folder.file("bus.conf"), "--nofork", "--print-address=1"});
    const std::optional<std::string> address = m_daemon->ReadLine();
    ASSERT_TRUE(address) << "dbus-daemon gave no address";
    m_address = QString::fromStdString(*address);
    m_notifier = std::make_unique<DesktopNotifier>([this](const QString& path) { m_opened.push_back(path); }, nullptr,
                                                   Connect("client"));
  }
  void TearDown() override {
    m_notifier.reset();
    for (const QString& name : m_connections) QDBusConnection::disconnectFromBus(name);
  }

  QDBusConnection Connect(const QString& role) {
    static int serial = 0;
    m_connections.push_back(QStringLiteral("notice-%1-%2").arg(role).arg(++serial));
    return QDBusConnection::connectToBus(m_address, m_connections.back());
  }
  QDBusConnection StartService() {
    QDBusConnection bus = Connect(QStringLiteral("service"));
    EXPECT_TRUE(bus.registerVirtualObject(kPath, &m_service));
    EXPECT_TRUE(bus.registerService(kService));
    return bus;
  }
  // A call to the bus itself, sent and answered behind everything `bus` sent
  // before it; handed over behind every earlier answer, too.
  static void RoundTrip(const QDBusConnection& bus) {
    QDBusPendingCallWatcher call(bus.asyncCall(QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId")));
    bool answered = false;
    QObject::connect(&call, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    ASSERT_TRUE(WaitUntil([&] { return answered; }));
  }
  static void Emit(const QDBusConnection& from, const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
    signal.setArguments(arguments);
    from.send(signal);
  }

  TempDir m_folder;
  std::unique_ptr<ChildProcess> m_daemon;
  QString m_address;
  QStringList m_connections;
  StandInService m_service;
  std::unique_ptr<DesktopNotifier> m_notifier;
  QStringList m_opened;
};

TEST_F(DesktopNotifierTest, NoticesReachTheServiceWithTheirActionsAndPlainTextBodies) {
  StartService();
  const struct {
    DesktopNotifier::Notice notice;
    QString icon;
    QString category;
    QStringList actions;
  } cases[] = {
      {{"Download finished", "Tom & Jerry <1>.mkv", "/d/Tom & Jerry <1>.mkv", "/d"},
       "com.tarnwell.Queuebay",
       "transfer.complete",
       {"open", "Open", "folder", "Open Folder"}},
      {{"Download failed", "a.iso: Not Found", "", "/d", true},
       "dialog-error",
       "transfer.error",
       {"folder", "Open Folder"}},
      {{"Download finished", "b.zip", "", ""}, "com.tarnwell.Queuebay", "transfer.complete", {}},
  };
  // Shown at once: the first waits for the service's abilities, the others with it.
  for (const auto& row : cases) m_notifier->Show(row.notice);
  ASSERT_TRUE(WaitUntil([&] { return m_service.Calls().size() == std::size(cases); }));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const QVariantList call = m_service.Calls()[i];
    ASSERT_EQ(call.size(), 8);
    EXPECT_EQ(call[0].toString(), "Queuebay");
    EXPECT_EQ(call[2].toString(), cases[i].icon);
    EXPECT_EQ(call[3].toString(), cases[i].notice.summary);
    EXPECT_EQ(call[4].toString(), cases[i].notice.body.toHtmlEscaped());
    EXPECT_EQ(call[5].toStringList(), cases[i].actions);
    const auto hints = qdbus_cast<QVariantMap>(call[6]);
    EXPECT_EQ(hints.value("desktop-entry").toString(), "com.tarnwell.Queuebay");
    EXPECT_EQ(hints.value("category").toString(), cases[i].category);
    EXPECT_EQ(call[7].toInt(), -1);
  }
  // Only the notices with actions are kept for them.
  EXPECT_TRUE(WaitUntil([&] { return m_notifier->Pending() == 2; }));
}

TEST_F(DesktopNotifierTest, OnlyTheServiceActsOnItsOwnNoticesAndClosingForgetsThem) {
  const QDBusConnection service = StartService();
  m_notifier->Show({"Download finished", "a.bin", "/d/a.bin", "/d"});
  ASSERT_TRUE(WaitUntil([&] { return m_notifier->Pending() == 1; }));
  // Another program names the notice first, and the bus passes that on
  // before the service's own signals.
  const QDBusConnection stranger = Connect(QStringLiteral("stranger"));
  Emit(stranger, "ActionInvoked", {1u, "open"});
  RoundTrip(stranger);
  Emit(service, "ActionInvoked", {999u, "open"});   // not our notice
  Emit(service, "ActionInvoked", {"1", "open"});    // not the signal's form
  Emit(service, "ActionInvoked", {1u, "default"});  // no action of ours
  Emit(service, "NotificationClosed", {999u, 2u});  // not our notice
  Emit(service, "ActionInvoked", {1u, "open"});
  Emit(service, "ActionInvoked", {1u, "folder"});
  Emit(service, "NotificationClosed", {1u, 2u});
  ASSERT_TRUE(WaitUntil([&] { return m_notifier->Pending() == 0; }));
  EXPECT_EQ(m_opened, QStringList({"/d/a.bin", "/d"}));
}

TEST_F(DesktopNotifierTest, WithoutTheServiceNoticesAreDroppedUntilItStarts) {
  m_notifier->Show({"Download finished", "lost.bin", "/d/lost.bin", "/d"});
  // The notifier has heard that no service runs by the time this returns.
  RoundTrip(QDBusConnection(m_connections.front()));
  EXPECT_EQ(m_notifier->Pending(), 0u);

  StartService();
  m_notifier->Show({"Download finished", "shown.bin", "/d/shown.bin", "/d"});
  ASSERT_TRUE(WaitUntil([&] { return m_notifier->Pending() == 1; }));
  ASSERT_EQ(m_service.Calls().size(), 1u);
  EXPECT_EQ(m_service.Calls()[0][4].toString(), "shown.bin");
}

TEST(DesktopNotifier, WithoutABusNothingHappens) {
  TempDir folder;
  const QDBusConnection none =
      QDBusConnection::connectToBus("unix:path=" + QString::fromStdString(folder.file("none")), "notice-none");
  ASSERT_FALSE(none.isConnected());
  {
    DesktopNotifier notifier([](const QString&) { ADD_FAILURE() << "an action without a bus"; }, nullptr, none);
    notifier.Show({"Download failed", "a.bin: refused", "", "/d", true});
    QCoreApplication::processEvents();
    EXPECT_EQ(notifier.Pending(), 0u);
  }
  QDBusConnection::disconnectFromBus("notice-none");
}

}  // namespace
