// CFetchwickDoc: handing files to the engine, or without one to the own
// downloader.

#include "crawler/core/doc_texts.h"
#include "crawler/core/fetchwick_doc.h"

void CFetchwickDoc::QueueDownload(const LinkEntry& entry) {
  if (IDownloadEngine* engine = ReadyEngine()) {
    // The file name first, the address second; the engine reports the rest
    // through the callback object. An engine found gone says so instead.
    const HRESULT hr = m_link.Checked(engine->DownloadFile(entry.name.c_str(), entry.url.c_str()));
    if (FAILED(hr) && hr != RPC_E_DISCONNECTED) SetDownloadStatus(download_text::kCouldNotStart);
    return;
  }
  m_own.Queue(entry);
}

void CFetchwickDoc::StopDownloads() {
  if (IDownloadEngine* engine = m_link.Engine()) {
    m_link.Checked(engine->StopAllDownloads());
    return;
  }
  // The transfer in progress ends with what it has; the worker then finds
  // the queue empty.
  m_own.Interrupt(DownloadEnding::Stopped, true);
}

void CFetchwickDoc::CancelCurrentDownload() {
  // The worker opens a new session for the next entry.
  m_own.Interrupt(DownloadEnding::Canceled, false);
}
