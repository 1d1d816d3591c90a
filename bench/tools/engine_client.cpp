// engine_client [--dir FOLDER] [--quiet] [--stop-after-ms N] [--cancel-after-ms N] URL...
//
// Connects to the engine as a window does (creates it, advises a sink),
// sets the download folder when given, queues the addresses in order and
// prints every status event as one line:
//   code<TAB>text<TAB>szHref<TAB>szFileName<TAB>dwFileSize<TAB>dwCurrentSize<TAB>dwBytesPerSecond<TAB>dwTimeouts
// It ends with 0 once every queued address has had a STATUS_DONE and an
// enumeration of the engine, made on this thread after that event, lists
// none of them. --quiet prints only codes 3 and 5. --stop-after-ms stops
// all downloads N ms after queueing (the files still waiting are dropped
// without an event, so it then ends once none of them is listed);
// --cancel-after-ms cancels every given address N ms after queueing.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "contract/status.h"
#include "manager/core/download_format.h"
#include "proxystub/engine_connection.h"

namespace {

// Every event stays one line, and nothing a server sent can steer the
// terminal: other control bytes are shown as \xHH.
void AppendEscaped(std::string& line, std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\n') {
      line += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      line += escaped;
    } else {
      line += c;
    }
  }
}

class PrintingSink final : public ICallbackItf {
 public:
  explicit PrintingSink(bool quiet) : m_quiet(quiet) {}

  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override {
    if (!m_quiet || dwStatus == STATUS_ERROR || dwStatus == STATUS_DONE) {
      thread_local std::string line;
      line.clear();
      line += std::to_string(dwStatus);
      line += '\t';
      AppendEscaped(line, pszStatus ? pszStatus : "");
      line += '\t';
      AppendEscaped(line, RecordText(ls.szHref));
      line += '\t';
      AppendEscaped(line, RecordText(ls.szFileName));
      for (std::uint32_t number : {ls.dwFileSize, ls.dwCurrentSize, ls.dwBytesPerSecond, ls.dwTimeouts}) {
        line += '\t';
        line += std::to_string(number);
      }
      line += '\n';
      std::lock_guard lock(m_printMutex);
      std::fwrite(line.data(), 1, line.size(), stdout);
      if (dwStatus == STATUS_DONE || dwStatus == STATUS_ERROR) std::fflush(stdout);
    }
    if (dwStatus == STATUS_DONE) {
      std::lock_guard lock(m_mutex);
      ++m_done[std::string(RecordText(ls.szHref))];
      ++m_doneEvents;
      m_changed.notify_all();
    }
    return S_OK;
  }

  // Waits for a STATUS_DONE after the `seen`th one, at most `limit`; gives
  // the number of STATUS_DONE events so far.
  std::size_t WaitForDone(std::size_t seen, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [&] { return m_doneEvents > seen; });
    return m_doneEvents;
  }

  bool AllDone(const std::set<std::string>& hrefs) {
    std::lock_guard lock(m_mutex);
    return std::all_of(hrefs.begin(), hrefs.end(), [&](const std::string& href) { return m_done.count(href) > 0; });
  }

 private:
  const bool m_quiet;
  std::mutex m_printMutex;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::string, std::size_t> m_done;
  std::size_t m_doneEvents = 0;
};

// True when the engine lists none of `hrefs`; false (with `failed` set when
// the engine could not be asked) otherwise.
bool NoneListed(IDownloadEngine& engine, const std::set<std::string>& hrefs, bool& failed) {
  std::shared_ptr<IEnumFiles> enumerator;
  failed = FAILED(engine.EnumFiles(&enumerator)) || !enumerator || FAILED(enumerator->Reset());
  if (failed) return false;
  _LinkStructType records[64];
  for (;;) {
    std::uint32_t fetched = 0;
    const HRESULT hr = enumerator->Next(64, records, &fetched);
    if (FAILED(hr)) {
      failed = true;
      return false;
    }
    for (std::uint32_t index = 0; index < fetched; ++index)
      if (hrefs.count(std::string(RecordText(records[index].szHref)))) return false;
    if (hr != S_OK) return true;
  }
}

// The engine runs elsewhere: a folder given relative to here is made whole
// before it goes there.
std::string AbsoluteFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  return error ? folder : absolute.string();
}

int Usage() {
  std::fprintf(stderr,
               "usage: engine_client [--dir FOLDER] [--quiet] [--stop-after-ms N] [--cancel-after-ms N] URL...\n");
  return 2;
}

// A count of milliseconds given on the command line; nothing else counts.
std::optional<std::chrono::milliseconds> Milliseconds(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0) return std::nullopt;
  return std::chrono::milliseconds(value);
}

// What the client does to the engine once, a while after queueing.
struct Interruption {
  enum class Kind { Stop, Cancel } kind;
  std::chrono::steady_clock::time_point at;
};

int Run(int argc, char** argv) {
  std::string folder;
  bool quiet = false;
  std::vector<std::string> urls;
  std::vector<std::pair<Interruption::Kind, std::chrono::milliseconds>> after;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    const bool stop = argument == "--stop-after-ms";
    if (argument == "--dir" && index + 1 < argc) folder = AbsoluteFolder(argv[++index]);
    else if (argument == "--quiet") quiet = true;
    else if ((stop || argument == "--cancel-after-ms") && index + 1 < argc) {
      const auto delay = Milliseconds(argv[++index]);
      if (!delay) return Usage();
      after.emplace_back(stop ? Interruption::Kind::Stop : Interruption::Kind::Cancel, *delay);
    }
    else if (argument.rfind("--", 0) == 0) return Usage();
    else urls.push_back(argument);
  }
  if (urls.empty()) return Usage();

  PrintingSink sink(quiet);
  ps::EngineConnection connection;
  HRESULT hr = connection.CreateEngine();
  if (FAILED(hr)) {
    const std::string why = ps::LastActivationError();
    std::fprintf(stderr, "engine_client: the engine could not be created (0x%08X)%s%s\n", static_cast<unsigned>(hr),
                 why.empty() ? "" : ": ", why.c_str());
    return 1;
  }
  hr = connection.AdviseSink(&sink);
  if (FAILED(hr)) {
    std::fprintf(stderr, "engine_client: the sink could not be advised (0x%08X)\n", static_cast<unsigned>(hr));
    return 1;
  }
  IDownloadEngine& engine = *connection.engine();
  if (!folder.empty() && FAILED(hr = engine.SetDLDir(folder.c_str()))) {
    std::fprintf(stderr, "engine_client: the download folder was refused (0x%08X)\n", static_cast<unsigned>(hr));
    return 1;
  }
  std::set<std::string> queued;
  for (const std::string& url : urls) {
    hr = engine.DownloadFile(FileNameFromUrl(url).c_str(), url.c_str());
    if (FAILED(hr)) {
      std::fprintf(stderr, "engine_client: %s was not queued (0x%08X)\n", url.c_str(), static_cast<unsigned>(hr));
      return 1;
    }
    queued.insert(url);
  }
  const auto queuedAt = std::chrono::steady_clock::now();
  std::vector<Interruption> interruptions;
  for (const auto& [kind, delay] : after) interruptions.push_back({kind, queuedAt + delay});
  bool stopped = false;

  // A record is still listed for a moment after its last STATUS_DONE (its
  // worker lets go of it afterwards), so a listing that still shows one is
  // asked again soon after, without waiting for another event.
  std::size_t seen = 0;
  std::chrono::milliseconds recheck(0);
  for (;;) {
    auto limit = recheck.count() ? recheck : std::chrono::milliseconds(1000);
    const auto now = std::chrono::steady_clock::now();
    for (auto it = interruptions.begin(); it != interruptions.end();) {
      if (it->at > now) {
        limit = std::min(limit, std::chrono::ceil<std::chrono::milliseconds>(it->at - now));
        ++it;
        continue;
      }
      if (it->kind == Interruption::Kind::Stop) {
        hr = engine.StopAllDownloads();
        stopped = true;
      } else {
        for (const std::string& url : urls)
          if (SUCCEEDED(hr)) hr = engine.CancelDownloadFile(url.c_str());
      }
      if (FAILED(hr)) {
        std::fprintf(stderr, "engine_client: the engine went away\n");
        return 1;
      }
      it = interruptions.erase(it);
    }
    const std::size_t before = seen;
    seen = sink.WaitForDone(seen, limit);
    if (!stopped && !sink.AllDone(queued)) {
      recheck = std::chrono::milliseconds(0);
      // A quiet second: make sure the engine is still there.
      std::int32_t downloading = 0;
      if (seen == before && FAILED(engine.IsDownloading(&downloading))) {
        std::fprintf(stderr, "engine_client: the engine went away\n");
        return 1;
      }
      continue;
    }
    bool failed = false;
    if (NoneListed(engine, queued, failed)) break;
    if (failed) {
      std::fprintf(stderr, "engine_client: the engine went away\n");
      return 1;
    }
    recheck = std::clamp(recheck * 2, std::chrono::milliseconds(1), std::chrono::milliseconds(200));
  }
  connection.Disconnect();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int code = Run(argc, argv);
  ps::CloseClientConnection();
  std::fflush(stdout);
  return code;
}
