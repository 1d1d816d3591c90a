// The crawler's own downloader: the queue and its worker thread.

#include "crawler/core/own_downloader.h"

#include <cstdlib>

#include "crawler/core/doc_texts.h"
#include "crawler/core/download_target.h"
#include "crawler/core/stop_errors.h"
#include "http/request.h"

namespace {

// RELOAD, EXISTING_CONNECT, NO_CACHE_WRITE and TRANSFER_BINARY, as own
// downloads have always been opened.
constexpr std::uint32_t kDownloadFlags =
    http::kFlagReload | http::kFlagExistingConnect | http::kFlagNoCacheWrite | http::kFlagTransferBinary;
constexpr char kDownloadHeaders[] = "Accept: */*\r\n\r\n";
// Downloads stream through one buffer, at most this many bytes per read.
constexpr std::size_t kDownloadChunk = 4095;

}  // namespace

OwnDownloader::OwnDownloader(IFetchwickHost& host, ps::EngineLink& link, const std::atomic<bool>& closing,
                             const http::SessionOptions& sessions)
    : m_host(host), m_link(link), m_bClosing(closing), m_sessionOptions(sessions) {}

OwnDownloader::~OwnDownloader() { Stop(); }

void OwnDownloader::Queue(const LinkEntry& entry) {
  if (m_bClosing) return;
  std::lock_guard lock(m_csDownload);
  m_downloadQueue.push_back(entry);
  // Started and recorded under the lock under which the worker gives up when
  // it finds the queue empty: an entry queued after that moment always gets
  // a new thread, and one queued before it is always taken by the old one.
  if (!m_bDownloadThreadRunning) {
    // A previous thread has left its last lock already and only returns.
    if (m_hDownloadThread.joinable()) m_hDownloadThread.join();
    m_bDownloadThreadRunning = true;
    m_hDownloadThread = std::thread([this] { Worker(); });
  }
}

void OwnDownloader::Interrupt(DownloadEnding why, bool dropQueue) {
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csDownload);
    closing = std::move(m_pDownloadSession);
    if (dropQueue) m_downloadQueue.clear();
    if (closing) m_ownInterruption = why;
  }
  if (closing) closing->Close();
}

std::string OwnDownloader::Directory() const {
  std::lock_guard lock(m_csDownload);
  return m_strDownloadDir;
}

bool OwnDownloader::ThreadRunning() const {
  std::lock_guard lock(m_csDownload);
  return m_bDownloadThreadRunning;
}

bool OwnDownloader::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_csDownload);
  if (!m_downloadsIdle.wait_for(lock, limit, [&] { return !m_bDownloadThreadRunning; })) return false;
  // Past its last lock the thread only tells the window and returns; once
  // joined, everything it did is done.
  if (m_hDownloadThread.joinable()) m_hDownloadThread.join();
  return true;
}

void OwnDownloader::Stop() {
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csDownload);
    m_downloadQueue.clear();
    closing = std::move(m_pDownloadSession);
  }
  if (closing) closing->Close();
  if (m_hDownloadThread.joinable()) m_hDownloadThread.join();
}

void OwnDownloader::Worker() {
  m_link.SetDownloading(true);
  for (;;) {
    LinkEntry entry;
    std::shared_ptr<http::Session> closing;
    bool finished = false;
    {
      std::lock_guard lock(m_csDownload);
      if (!m_downloadQueue.empty()) {
        entry = std::move(m_downloadQueue.front());
        m_downloadQueue.pop_front();
      } else {
        // The end, decided under the lock that QueueDownload starts threads
        // under. The flag and the last text change here too, so that a
        // thread started right after this moment never has them overwritten
        // by this one.
        finished = true;
        m_bDownloadThreadRunning = false;
        closing = std::move(m_pDownloadSession);
        m_link.SetDownloading(false);
        m_link.SetStatus(download_text::kComplete);
        m_downloadsIdle.notify_all();
      }
    }
    if (finished) {
      if (closing) closing->Close();
      if (m_host.HasMainWindow()) m_host.WakeIdleRefresh();
      return;
    }
    DownloadOne(entry);
  }
}

void OwnDownloader::DownloadOne(const LinkEntry& entry) {
  std::shared_ptr<http::Session> session;
  std::string directory;
  {
    std::lock_guard lock(m_csDownload);
    if (m_bClosing) return;
    if (!m_pDownloadSession) m_pDownloadSession = http::Session::Open(m_sessionOptions);
    m_ownInterruption = DownloadEnding::Finished;
    // The worker's own reference: a cancel closes the session (which ends
    // the calls below) but never frees it under them.
    session = m_pDownloadSession;
    directory = m_strDownloadDir;
  }
  const char* name = entry.name.c_str();
  SetStatus(FormatText(download_text::kTrying, name));

  long long total = 0;
  long long expected = -1;
  // Every way out says how the file ended, and only a whole one is
  // "finished".
  DownloadEnding ending = DownloadEnding::Failed;
  struct Ending {
    OwnDownloader& owner;
    const char* name;
    const long long& total;
    const long long& expected;
    DownloadEnding& ending;
    ~Ending() { owner.EndOne(ending, name, total, expected); }
  } report{*this, name, total, expected, ending};

  auto opened = session->OpenUrl(entry.url, kDownloadHeaders, kDownloadFlags);
  if (!opened) {
    if (!IsStopError(opened.error())) ShowLinkBox(http::ErrorMessage(opened.error()), entry.url);
    return;
  }
  http::Request& request = **opened;
  const int status = request.StatusCode().value_or(0);
  // A redirect still standing here had no usable Location: its body is a
  // note about the move, not the file.
  if (status >= 300) {
    ShowLinkBox(FormatText(crawl_text::kDownloadErrorReason, status, http::StatusReason(status).c_str()), entry.url);
    return;
  }

  if (auto length = request.QueryHeader("Content-Length")) {
    expected = std::atoll(length->c_str());
    SetStatus(FormatText(download_text::kSized, name, length->c_str()));
  } else {
    SetStatus(FormatText(download_text::kUnknownSize, name, static_cast<int>(length.error())));
  }

  std::string path = directory + entry.name;
  std::string reason;
  auto target = DownloadTarget::Create(path, reason);
  if (!target) {
    ShowBox(FormatText(download_text::kFileError, path.c_str(), reason.c_str()));
    return;
  }

  char buffer[kDownloadChunk + 1];
  bool whole = false;
  for (;;) {
    auto read = request.Read(buffer, kDownloadChunk);
    if (!read) {
      // The transfer ends with what was written; the partial file stays.
      if (!IsStopError(read.error())) ShowLinkBox(http::ErrorMessage(read.error()), entry.url);
      break;
    }
    if (*read == 0) {
      whole = expected < 0 || total >= expected;
      break;
    }
    if (!target->Write(buffer, *read, reason)) {
      ShowBox(FormatText(download_text::kFileError, target->path().c_str(), reason.c_str()));
      break;
    }
    total += static_cast<long long>(*read);
    SetStatus(FormatText(download_text::kProgress, name, total, expected));
  }
  if (!target->Close(reason)) {
    ShowBox(FormatText(download_text::kFileError, target->path().c_str(), reason.c_str()));
    whole = false;
  }
  if (whole) ending = DownloadEnding::Finished;
}

void OwnDownloader::EndOne(DownloadEnding ending, const char* name, long long total, long long expected) {
  if (ending != DownloadEnding::Finished) {
    std::lock_guard lock(m_csDownload);
    if (m_ownInterruption != DownloadEnding::Finished) ending = m_ownInterruption;
  }
  const auto count = [](long long value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; };
  SetStatus(EndingText(ending, name, count(total), count(expected)));
}

void OwnDownloader::ShowLinkBox(const std::string& message, const std::string& url) {
  ShowBox(NamingAddress(message, url));
}

void OwnDownloader::ShowBox(std::string text) {
  if (!m_bClosing) m_host.ShowMessageBox(std::move(text));
}

void OwnDownloader::SetDirectory(std::string folder) {
  std::lock_guard lock(m_csDownload);
  m_strDownloadDir = std::move(folder);
}

void OwnDownloader::SetStatus(std::string text) {
  m_link.SetStatus(std::move(text));
  if (m_host.HasMainWindow()) m_host.WakeIdleRefresh();
}
