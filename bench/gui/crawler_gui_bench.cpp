// crawler_gui_bench URL DEPTH: the crawler's real window (offscreen unless
// a platform is set) through one deep crawl of URL, as the Deep Crawl
// command runs it. A timer that fires every 5 ms on the interface thread
// measures the event loop's longest pause. The progress pane counts and a
// quick filter that every address passes ("http") is set, so rows go
// through it as they come. Then a query is typed into the quick filter and
// taken back key by key over all the rows. Prints
//   RESULT crawler_rows_s        rows shown per second, start to the last row
//   RESULT crawler_max_stall_ms  longest gap between two ticks, less the 5 ms
//   RESULT gui_crawl_pages_s     pages the crawl fetched per second
//   RESULT crawler_filter_ms     the slowest key of the quick filter, to the list repainted
// and on stderr the counts. Exit code 1 when not every link got its row.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "crawler/app/fetchwick_app.h"
#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/app_icons.h"

namespace {

constexpr int kProbeMs = 5;

// Types `query` into the quick filter a key at a time, then takes it back
// with as many backspaces; gives the slowest key in milliseconds, each
// measured until the list has repainted.
double SlowestFilterKey(QLineEdit& filter, QWidget& list, const QString& query) {
  std::vector<QString> steps;
  for (qsizetype length = 1; length <= query.size(); ++length) steps.push_back(query.left(length));
  for (qsizetype length = query.size() - 1; length >= 0; --length) steps.push_back(query.left(length));
  double slowest = 0;
  QElapsedTimer clock;
  for (const QString& text : steps) {
    clock.start();
    filter.setText(text);
    list.repaint();
    QCoreApplication::processEvents();
    slowest = std::max(slowest, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  return slowest;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: crawler_gui_bench URL DEPTH\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string url = argv[1];
  const int depth = std::atoi(argv[2]);
  QApplication application(argc, argv);
  gui::InstallIconTheme();

  CFetchwickApp app;
  DocOptions options;
  options.engine = EngineUse::None;
  options.sessions.proxy = http::ProxyMode::Direct;
  if (!app.InitInstance({}, options)) return 2;
  CFetchwickDoc& doc = *app.Document();
  CFetchwickView& view = *app.View();
  doc.SetCrawlDepth(depth);
  doc.SetExcludeForeign(true);

  QElapsedTimer clock;
  qint64 lastTick = 0;
  qint64 longestGap = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
  });

  qint64 crawlEnd = -1;
  qint64 lastRow = -1;
  int shownRows = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const int rows = view.Model().rowCount();
    if (rows != shownRows) {
      shownRows = rows;
      lastRow = clock.nsecsElapsed();
    }
    if (crawlEnd < 0 && doc.WaitForCrawl(std::chrono::milliseconds(0))) crawlEnd = clock.nsecsElapsed();
    if (crawlEnd >= 0 && static_cast<std::size_t>(rows) == doc.Links()->Count()) application.quit();
  });

  // What the Deep Crawl command does: the rows go, the crawl starts.
  QTimer::singleShot(0, [&] {
    clock.start();
    lastTick = 0;
    probe.start(kProbeMs);
    watch.start(10);
    view.Model().Clear();
    app.MainFrame()->QuickFilter()->setText(QStringLiteral("http"));
    doc.StartDeepCrawl(url, AddToHistory::Yes);
  });
  application.exec();
  probe.stop();
  watch.stop();
  QLineEdit& filter = *app.MainFrame()->QuickFilter();
  filter.clear();
  const double filterMs = SlowestFilterKey(filter, *view.viewport(), QStringLiteral("p0421/F01"));

  const double rowSeconds = static_cast<double>(lastRow) / 1e9;
  const double crawlSeconds = static_cast<double>(crawlEnd) / 1e9;
  const double stallMs = std::max(0.0, static_cast<double>(longestGap) / 1e6 - kProbeMs);
  std::fprintf(stderr,
               "crawler_gui_bench: %d rows in %.3f s, %zu pages in %.3f s, longest pause %.1f ms, slowest filter "
               "key %.1f ms\n",
               shownRows, rowSeconds, doc.PagesFetched(), crawlSeconds, stallMs, filterMs);
  std::printf("RESULT crawler_rows_s %.0f\n", shownRows / rowSeconds);
  std::printf("RESULT crawler_max_stall_ms %.1f\n", stallMs);
  std::printf("RESULT gui_crawl_pages_s %.1f\n", static_cast<double>(doc.PagesFetched()) / crawlSeconds);
  std::printf("RESULT crawler_filter_ms %.1f\n", filterMs);
  return static_cast<std::size_t>(shownRows) == doc.Links()->Count() ? 0 : 1;
}
