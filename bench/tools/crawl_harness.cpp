// crawl_harness [--deep DEPTH] [--all-hosts] [--sizes] [--download] URL
//
// Runs the crawler's document with a console host that answers like the
// windows (it has a main window and a view), so crawls run as they do there:
// a page crawl, or a deep crawl to DEPTH levels with "Exclude Foreign" on
// unless --all-hosts. It waits until the crawl thread has ended, then prints
// the link list in list order, one line per entry:
//   name<TAB>extension<TAB>complete URL<TAB>isFile<TAB>size
// --sizes runs the size query on every listed file first; --download queues
// every listed file (with the engine when one is registered, with the own
// downloader otherwise) and waits until all are done. Message boxes and
// status texts go to stderr, and so does a last line with the pages fetched
// and the time the crawl took. Exit code 0; 1 when a page crawl fetched no
// page; 2 for a wrong command line.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "crawler/core/fetchwick_doc.h"
#include "proxystub/activation.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kForever = std::chrono::hours(24 * 365);

// The windows, on the console. Every call may come from any thread.
class ConsoleHost final : public IFetchwickHost {
 public:
  bool HasView() const override { return true; }
  bool HasMainWindow() const override { return true; }

  void PostCrawlDone(CrawlDoneMessage message) override {
    std::lock_guard lock(m_mutex);
    m_crawlDone = std::move(message);
  }
  void PostLinkFound(LinkFoundMessage) override {}  // the list is printed at the end
  void PostShowError(std::string text) override { Print("Fetchwick Error: " + text); }
  void WakeIdleRefresh() override {
    const CFetchwickDoc* doc = m_doc.load();
    if (!doc) return;
    // Each text once; the progress texts of every chunk would drown the rest.
    const std::string text = doc->DownloadStatus();
    const bool progress = text.find(" of ") != std::string::npos && text.ends_with(" bytes");
    std::lock_guard lock(m_mutex);
    if (progress || text.empty() || text == m_lastDownloadText) return;
    m_lastDownloadText = text;
    std::cerr << text << '\n';
  }
  void SetStatusText(std::string text) override { Print(text); }
  void ShowMessageBox(std::string text) override { Print(text); }

  void Watch(const CFetchwickDoc* doc) { m_doc = doc; }
  std::optional<CrawlDoneMessage> TakeCrawlDone() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_crawlDone, std::nullopt);
  }

 private:
  void Print(const std::string& text) {
    std::lock_guard lock(m_mutex);
    std::cerr << text << '\n';
  }

  std::mutex m_mutex;
  std::optional<CrawlDoneMessage> m_crawlDone;
  std::string m_lastDownloadText;
  std::atomic<const CFetchwickDoc*> m_doc{nullptr};
};

struct Options {
  std::optional<int> deep;
  bool allHosts = false;
  bool sizes = false;
  bool download = false;
  std::string url;
};

int Usage() {
  std::cerr << "usage: crawl_harness [--deep DEPTH] [--all-hosts] [--sizes] [--download] URL\n";
  return 2;
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--deep" && i + 1 < argc) {
      char* end = nullptr;
      const long depth = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || depth < 0 || depth > 1000) return false;
      options.deep = static_cast<int>(depth);
    } else if (arg == "--all-hosts") {
      options.allHosts = true;
    } else if (arg == "--sizes") {
      options.sizes = true;
    } else if (arg == "--download") {
      options.download = true;
    } else if (!arg.starts_with("--") && options.url.empty()) {
      options.url = arg;
    } else {
      return false;
    }
  }
  return !options.url.empty();
}

// True once the engine lists none of `hrefs` any more (or cannot be asked).
bool EngineDone(IDownloadEngine& engine, const std::set<std::string>& hrefs) {
  std::shared_ptr<IEnumFiles> files;
  if (FAILED(engine.EnumFiles(&files)) || !files) return true;
  _LinkStructType record{};
  std::uint32_t fetched = 0;
  while (files->Next(1, &record, &fetched) == S_OK && fetched == 1)
    if (hrefs.count(std::string(RecordText(record.szHref)))) return false;
  return true;
}

void Download(CFetchwickDoc& doc, const std::vector<const LinkEntry*>& files) {
  std::set<std::string> hrefs;
  for (const LinkEntry* entry : files) {
    doc.QueueDownload(*entry);
    hrefs.insert(entry->url);
  }
  if (IDownloadEngine* engine = doc.Engine()) {
    while (!EngineDone(*engine, hrefs)) std::this_thread::sleep_for(50ms);
  } else {
    doc.WaitForDownloads(kForever);
  }
}

void PrintList(const LinkList& list) {
  // Written in pieces: a list of a million links would otherwise be held
  // twice, as entries and as one text.
  std::string out;
  const auto flush = [&] {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  };
  for (const LinkEntry* entry : list.Entries()) {
    out += entry->name;
    out += '\t';
    out += entry->extension;
    out += '\t';
    out += entry->url;
    out += '\t';
    out += std::to_string(entry->isFile);
    out += '\t';
    out += std::to_string(entry->size.load());
    out += '\n';
    if (out.size() >= 1 << 16) flush();
  }
  flush();
  std::fflush(stdout);
}

int Run(const Options& options) {
  ConsoleHost host;
  DocOptions docOptions;
  // Only a download needs the engine; a crawl leaves the user's engine alone.
  docOptions.engine = options.download ? EngineUse::Create : EngineUse::None;
  CFetchwickDoc doc(host, docOptions);
  host.Watch(&doc);

  const auto started = std::chrono::steady_clock::now();
  if (options.deep) {
    doc.SetCrawlDepth(*options.deep);
    doc.SetExcludeForeign(!options.allHosts);
    doc.StartDeepCrawl(options.url, AddToHistory::Yes);
  } else {
    doc.StartCrawl(options.url, AddToHistory::Yes, PushCurrent::Yes);
  }
  doc.WaitForCrawl(kForever);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::size_t pages = doc.PagesFetched();
  bool fetched = true;
  if (!options.deep) {
    auto done = host.TakeCrawlDone();
    fetched = done.has_value();
    if (done) doc.OnCrawlDone(*done);
  }

  const std::shared_ptr<LinkList> list = doc.Links();
  std::vector<const LinkEntry*> files;
  for (const LinkEntry* entry : list->Entries())
    if (entry->isFile == 1) files.push_back(entry);
  if (options.sizes && !files.empty()) {
    doc.StartSizeQuery(SizeQueryJob{list, files, {}});
    doc.WaitForSizeQueries(kForever);
  }
  if (options.download && !files.empty()) Download(doc, files);

  PrintList(*list);
  std::fprintf(stderr, "crawl_harness: %zu pages fetched in %.3f s\n", pages, seconds);
  host.Watch(nullptr);
  return fetched ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) return Usage();
  const int code = Run(options);
  // An orderly end of the engine connection, if one was made.
  ps::CloseClientConnection();
  return code;
}
