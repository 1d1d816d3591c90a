// CFetchwickDoc: construction, settings, the download status text, and the
// orderly end of every thread.

#include "crawler/core/fetchwick_doc.h"

#include "crawler/core/callback_itf.h"
#include "crawler/core/link_naming.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

bool PageAddress::Set(std::string_view url) {
  const auto parts = SplitUrl(url);
  if (!parts) return false;
  server = parts->host;
  origin = UrlOrigin(*parts);
  BaseDirectory(parts->path, base);
  return true;
}

void CCrawl::MarkFinished() {
  std::lock_guard lock(m_mutex);
  m_finished = true;
  m_changed.notify_all();
}

bool CCrawl::WaitFinished(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return m_finished; });
}

bool CCrawl::finished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

CFetchwickDoc::CFetchwickDoc(IFetchwickHost& host, DocOptions options)
    : m_host(host),
      m_sessionOptions(std::move(options.sessions)),
      m_pageLimits(options.pageLimits),
      m_links(std::make_shared<LinkList>()),
      m_link(LinkOptions(options)) {
  // A missing store or value leaves the defaults.
  {
    const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
    m_nCrawlDepth = static_cast<int>(ReadSetting(key.get(), setting::kCrawlDepth));
    m_bExcludeForeign = static_cast<int>(ReadSetting(key.get(), setting::kExcludeForeign));
    m_own.SetDirectory(ReadDownloadDirectory(key.get()));
  }
}

CFetchwickDoc::~CFetchwickDoc() {
  m_bClosing = true;
  // The engine first: once Disconnect returns, no event touches the document.
  m_link.Disconnect();
  // Closing the sessions ends every network wait; then every thread is joined
  // while all it uses is still here.
  m_crawls.CloseSession(nullptr);
  m_crawls.JoinThreads();
  m_sizes.Join();
  m_own.Stop();
}

std::string CFetchwickDoc::DownloadStatus() const { return m_link.Status(); }

void CFetchwickDoc::SetDownloadStatus(std::string text) {
  m_link.SetStatus(std::move(text));
  if (m_host.HasMainWindow()) m_host.WakeIdleRefresh();
}

std::shared_ptr<LinkList> CFetchwickDoc::Links() const {
  std::lock_guard lock(m_csLinks);
  return m_links;
}

std::shared_ptr<LinkList> CFetchwickDoc::StartNewLinkList() {
  auto list = std::make_shared<LinkList>();
  std::lock_guard lock(m_csLinks);
  m_links = list;
  return list;
}
