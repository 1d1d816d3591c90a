// CFetchwickDoc: handing files to the engine, and the crawler's own
// downloader for when there is no engine.

#include "crawler/core/doc_texts.h"
#include "crawler/core/download_target.h"
#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/stop_errors.h"
#include "http/request.h"

#include <cstdlib>

namespace {

// RELOAD, EXISTING_CONNECT, NO_CACHE_WRITE and TRANSFER_BINARY, as own
// downloads have always been opened.
constexpr std::uint32_t kDownloadFlags =
    http::kFlagReload | http::kFlagExistingConnect | http::kFlagNoCacheWrite | http::kFlagTransferBinary;
constexpr char kDownloadHeaders[] = "Accept: */*\r\n\r\n";
// Downloads stream through one buffer, at most this many bytes per read.
constexpr std::size_t kDownloadChunk = 4095;

}  // namespace

void CFetchwickDoc::QueueDownload(const LinkEntry& entry) {
  if (IDownloadEngine* engine = ReadyEngine()) {
    // The file name first, the address second; the engine reports the rest
    // through the callback object. An engine found gone says so instead.
    const HRESULT hr = m_link.Checked(engine->DownloadFile(entry.name.c_str(), entry.url.c_str()));
    if (FAILED(hr) && hr != RPC_E_DISCONNECTED) SetDownloadStatus(download_text::kCouldNotStart);
    return;
  }
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
    m_hDownloadThread = std::thread([this] { DownloadWorker(); });
  }
}

void CFetchwickDoc::StopDownloads() {
  if (IDownloadEngine* engine = m_link.Engine()) {
    m_link.Checked(engine->StopAllDownloads());
    return;
  }
  // The transfer in progress ends with what it has; the worker then finds
  // the queue empty.
  InterruptOwnDownload(DownloadEnding::Stopped, true);
}

void CFetchwickDoc::CancelCurrentDownload() {
  // The worker opens a new session for the next entry.
  InterruptOwnDownload(DownloadEnding::Canceled, false);
}

void CFetchwickDoc::InterruptOwnDownload(DownloadEnding why, bool dropQueue) {
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csDownload);
    closing = std::move(m_pDownloadSession);
    if (dropQueue) m_downloadQueue.clear();
    if (closing) m_ownInterruption = why;
  }
  if (closing) closing->Close();
}

std::string CFetchwickDoc::DownloadDirectory() const {
  std::lock_guard lock(m_csDownload);
  return m_strDownloadDir;
}

bool CFetchwickDoc::DownloadThreadRunning() const {
  std::lock_guard lock(m_csDownload);
  return m_bDownloadThreadRunning;
}

bool CFetchwickDoc::WaitForDownloads(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_csDownload);
  if (!m_downloadsIdle.wait_for(lock, limit, [&] { return !m_bDownloadThreadRunning; })) return false;
  // Past its last lock the thread only tells the window and returns; once
  // joined, everything it did is done.
  if (m_hDownloadThread.joinable()) m_hDownloadThread.join();
  return true;
}

void CFetchwickDoc::StopDownloadThread() {
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csDownload);
    m_downloadQueue.clear();
    closing = std::move(m_pDownloadSession);
  }
  if (closing) closing->Close();
  if (m_hDownloadThread.joinable()) m_hDownloadThread.join();
}

void CFetchwickDoc::DownloadWorker() {
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

void CFetchwickDoc::DownloadOne(const LinkEntry& entry) {
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
  SetDownloadStatus(FormatText(download_text::kTrying, name));

  long long total = 0;
  long long expected = -1;
  // Every way out says how the file ended, and only a whole one is
  // "finished".
  DownloadEnding ending = DownloadEnding::Failed;
  struct Ending {
    CFetchwickDoc& doc;
    const char* name;
    const long long& total;
    const long long& expected;
    DownloadEnding& ending;
    ~Ending() { doc.EndOwnDownload(ending, name, total, expected); }
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
    SetDownloadStatus(FormatText(download_text::kSized, name, length->c_str()));
  } else {
    SetDownloadStatus(FormatText(download_text::kUnknownSize, name, static_cast<int>(length.error())));
  }

  std::string path = directory + entry.name;
  std::string reason;
  auto target = DownloadTarget::Create(path, reason);
  if (!target) {
    ShowWorkerBox(FormatText(download_text::kFileError, path.c_str(), reason.c_str()));
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
      ShowWorkerBox(FormatText(download_text::kFileError, target->path().c_str(), reason.c_str()));
      break;
    }
    total += static_cast<long long>(*read);
    SetDownloadStatus(FormatText(download_text::kProgress, name, total, expected));
  }
  if (!target->Close(reason)) {
    ShowWorkerBox(FormatText(download_text::kFileError, target->path().c_str(), reason.c_str()));
    whole = false;
  }
  if (whole) ending = DownloadEnding::Finished;
}

void CFetchwickDoc::EndOwnDownload(DownloadEnding ending, const char* name, long long total, long long expected) {
  if (ending != DownloadEnding::Finished) {
    std::lock_guard lock(m_csDownload);
    if (m_ownInterruption != DownloadEnding::Finished) ending = m_ownInterruption;
  }
  const auto count = [](long long value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; };
  SetDownloadStatus(EndingText(ending, name, count(total), count(expected)));
}

void CFetchwickDoc::ShowLinkBox(const std::string& message, const std::string& url) {
  ShowWorkerBox(FormatText(crawl_text::kAboutLink, message.c_str(), url.c_str()));
}

void CFetchwickDoc::ShowWorkerBox(std::string text) {
  if (!m_bClosing) m_host.ShowMessageBox(std::move(text));
}
