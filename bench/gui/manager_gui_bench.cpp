// manager_gui_bench: the download manager's real window (offscreen unless a
// platform is set), connected to the running engine, under load.
//
//   manager_gui_bench load BIG_URL SLOW_URL COUNT FOLDER
//     stores one worker and FOLDER as the engine's settings (the engine
//     must not run yet), then queues BIG_URL and COUNT records of
//     SLOW_URL?n=I, which wait behind it, from a client of its own in this
//     process, while the
//     window shows them; once the big file is done, times full reloads of
//     the list. A timer that fires every 5 ms on the interface thread
//     measures the event loop's longest pause. Prints
//       RESULT manager_max_stall_ms  longest gap between two ticks, less the 5 ms
//       RESULT manager_backlog_max   most events ever waiting for the view
//       RESULT manager_reload_ms     best full reload of the list
//       RESULT manager_load_mb_s     the big file's speed meanwhile
//   manager_gui_bench history COUNT
//     stores a history of COUNT endings in the data folder, then times
//     the history pane reading it and showing its first screen:
//       RESULT manager_history_load_ms  best of five
//   manager_gui_bench listen
//     only shows the queue: prints "ready" once connected and stays until
//     its standard input closes, as the bare listener of the server
//     benchmark does; its backlog goes to stderr.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "settings/settings.h"
#include "settings/settings_key.h"
#include "contract/status.h"
#include "gui/app_icons.h"
#include "gui/command_set.h"
#include "gui/desktop_launch.h"
#include "manager/app/history_list_model.h"
#include "manager/app/history_panel.h"
#include "manager/app/manager_commands.h"
#include "manager/app/queuebay_app.h"
#include "manager/core/download_history.h"
#include "manager/app/queuebay_view.h"
#include "proxystub/activation.h"
#include "proxystub/engine_connection.h"

namespace {

constexpr int kProbeMs = 5;

// The longest pause of the interface thread's loop.
class StallProbe {
 public:
  StallProbe() {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      const qint64 now = m_clock.nsecsElapsed();
      m_longest = std::max(m_longest, now - m_last);
      m_last = now;
    });
  }
  void Start() {
    m_clock.start();
    m_last = 0;
    m_timer.start(kProbeMs);
  }
  void Stop() { m_timer.stop(); }
  double LongestPauseMs() const { return std::max(0.0, static_cast<double>(m_longest) / 1e6 - kProbeMs); }

 private:
  QTimer m_timer;
  QElapsedTimer m_clock;
  qint64 m_last = 0;
  qint64 m_longest = 0;
};

// The load's own client: notes when the big file starts and ends.
struct LoadSink final : ICallbackItf {
  std::string bigUrl;
  std::atomic<qint64> started{-1};
  std::atomic<qint64> done{-1};
  QElapsedTimer clock;
  HRESULT DownloadStatus(std::uint32_t code, const char*, const _LinkStructType& record) override {
    if (RecordText(record.szHref) != bigUrl) return S_OK;
    if (code == STATUS_STARTING && started < 0) started = clock.nsecsElapsed();
    if (code == STATUS_DONE) done = clock.nsecsElapsed();
    return S_OK;
  }
};

int Load(queuebay::CQueuebayApp& app, const std::string& bigUrl, const std::string& slowUrl, int count,
         const QString& folder) {
  QApplication* application = qApp;
  StallProbe probe;
  LoadSink sink;
  sink.bigUrl = bigUrl;
  sink.clock.start();
  ps::EngineConnection client;
  if (FAILED(client.CreateEngine()) || FAILED(client.AdviseSink(&sink, {}, ps::EngineConnection::Pace::ReturnsAtOnce))) {
    std::fprintf(stderr, "manager_gui_bench: no engine\n");
    return 2;
  }
  IDownloadEngine& engine = *client.engine();
  std::thread queueing;
  QTimer::singleShot(0, [&] {
    probe.Start();
    queueing = std::thread([&] {
      engine.DownloadFile("big.bin", bigUrl.c_str());
      for (int i = 0; i < count; ++i) {
        const std::string url = slowUrl + "?n=" + std::to_string(i);
        engine.DownloadFile(("slow" + std::to_string(i) + ".bin").c_str(), url.c_str());
      }
    });
  });
  queuebay::DownloadListModel& model = app.View()->Model();
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (sink.done >= 0 && model.rowCount() == count) application->quit();
  });
  watch.start(20);
  application->exec();
  probe.Stop();
  queueing.join();

  double bestReload = 1e9;
  for (int round = 0; round < 3; ++round) {
    QElapsedTimer reload;
    reload.start();
    app.View()->Reload();
    bestReload = std::min(bestReload, static_cast<double>(reload.nsecsElapsed()) / 1e6);
  }
  const int rows = model.rowCount();
  engine.StopAllDownloads();

  const double seconds = static_cast<double>(sink.done - sink.started) / 1e9;
  std::fprintf(stderr, "manager_gui_bench: %d rows, big file in %.2f s, longest pause %.1f ms\n", rows, seconds,
               probe.LongestPauseMs());
  std::printf("RESULT manager_max_stall_ms %.1f\n", probe.LongestPauseMs());
  std::printf("RESULT manager_backlog_max %zu\n", app.Document()->HandOver().MostWaiting());
  std::printf("RESULT manager_reload_ms %.1f\n", bestReload);
  const double mib = static_cast<double>(QFileInfo(folder + "/big.bin").size()) / 1048576.0;
  std::printf("RESULT manager_load_mb_s %.1f\n", mib / seconds);
  return rows == count ? 0 : 1;
}

int History(int count) {
  DownloadHistory stored;
  for (int i = 0; i < count; ++i) {
    const std::string name = "file-" + std::to_string(i) + (i % 3 ? ".zip" : ".iso");
    stored.Add({name, "http://127.0.0.1/downloads/" + name, static_cast<HistoryOutcome>(i % 4),
                "Failed downloading " + name + " (1200 of 4000 bytes): Download error: 404 Not Found",
                static_cast<std::uint64_t>(i) * 7919, "/home/user/Downloads/", 1'800'000'000 + i});
  }
  if (!stored.Save()) return 2;
  QObject owner;
  const gui::CommandSet commands(&owner, queuebay::ManagerCommands());
  gui::DesktopLauncher launcher;
  double best = 1e9;
  int rows = 0;
  for (int round = 0; round < 5; ++round) {
    QElapsedTimer clock;
    clock.start();
    queuebay::HistoryPanel panel(commands, launcher, [](const std::string&) {});
    panel.resize(860, 300);
    panel.Load();
    panel.grab();  // lays out and paints the rows in view
    best = std::min(best, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    rows = panel.Model().rowCount();
  }
  std::fprintf(stderr, "manager_gui_bench: a history of %d entries\n", rows);
  std::printf("RESULT manager_history_load_ms %.1f\n", best);
  return rows == count ? 0 : 1;
}

int Listen(queuebay::CQueuebayApp& app) {
  // No probe here: its wake-ups would cost the window time the program
  // itself does not spend.
  std::printf("ready\n");
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) qApp->quit();
  });
  qApp->exec();
  std::fprintf(stderr, "manager_gui_bench: listened; most waiting %zu\n", app.Document()->HandOver().MostWaiting());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!(mode == "listen" && argc == 2) && !(mode == "load" && argc == 6) && !(mode == "history" && argc == 3)) {
    std::fprintf(stderr,
                 "usage: manager_gui_bench load BIG_URL SLOW_URL COUNT FOLDER | manager_gui_bench history COUNT |"
                 " manager_gui_bench listen\n");
    return 2;
  }
  if (mode == "load") {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    if (!key || !WriteSetting(*key, setting::kThreadCount, 1) || !WriteDownloadDirectory(*key, argv[5])) {
      std::fprintf(stderr, "manager_gui_bench: the settings cannot be written\n");
      return 2;
    }
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (mode == "history") {
    QApplication application(argc, argv);
    gui::InstallIconTheme();
    return History(std::atoi(argv[2]));
  }
  int code = 0;
  {
    QApplication application(argc, argv);
    gui::InstallIconTheme();
    queuebay::CQueuebayApp app;
    // The run ends with its window closing as the program quits: no one
    // is there to answer a question about the queue left.
    app.SetAskOnClose(false);
    if (!app.InitInstance({}) || !app.Document()->Engine()) {
      std::fprintf(stderr, "manager_gui_bench: the window has no engine\n");
      return 2;
    }
    code = mode == "load" ? Load(app, argv[2], argv[3], std::atoi(argv[4]), QString::fromLocal8Bit(argv[5])) : Listen(app);
  }
  ps::CloseClientConnection();
  return code;
}
