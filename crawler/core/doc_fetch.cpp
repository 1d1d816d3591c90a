// CFetchwickDoc: page fetches.

#include "crawler/core/doc_texts.h"
#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/link_naming.h"
#include "crawler/core/stop_errors.h"
#include "http/errors.h"
#include "http/request.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

// Pages are read in chunks of at most this many bytes.
constexpr std::size_t kPageChunk = 1023;

// Whether `url` begins with a scheme and "://" ("http://", "https://",
// "HTTP://", "ftp://"): such an address is taken as it is; anything else is
// a host name typed without one.
bool HasSchemePrefix(std::string_view url) {
  const std::size_t scheme = SchemeLength(url);
  return scheme > 0 && url.substr(scheme).starts_with("://");
}

}  // namespace

bool CFetchwickDoc::FetchPage(CCrawl& crawl, std::string& url, std::string& text) {
  if (!HasSchemePrefix(url)) url.insert(0, "http://");
  crawl.page.Set(url);  // a rejected address keeps the previous page's values

  // The session this crawl holds; none, or a closed one, means it was stopped.
  const std::shared_ptr<http::Session> session = crawl.session;
  if (!session || session->closed()) return false;
  const auto deadline = std::chrono::steady_clock::now() + m_pageLimits.maxTime;

  auto opened = session->OpenUrl(url, {}, http::kFlagTransferAscii);
  if (!opened) {
    ReportFetchError(crawl, opened.error(), url);
    return false;
  }
  http::Request& request = **opened;
  ++crawl.progress->pagesFetched;
  const int status = request.StatusCode().value_or(0);
  if (status >= 400) {
    // The fetch counts as done, with no text.
    if (!crawl.quiet && !crawl.superseded && !m_bClosing)
      m_host.ShowMessageBox(
          NamingAddress(FormatText(crawl_text::kDownloadErrorReason, status, http::StatusReason(status).c_str()), url));
    return true;
  }

  // The text is given its room once, so that it is never copied while it
  // grows: as much as the server announces, or else the whole limit. Room
  // that is never written costs no memory, since the system hands out
  // pages only as they are first touched, so an unannounced small page
  // costs no more than an announced one.
  const std::size_t maxBytes = m_pageLimits.maxBytes;
  std::size_t room = maxBytes;
  if (auto length = request.QueryHeader("Content-Length")) {
    const long long announced = std::atoll(length->c_str());
    if (announced >= 0 && static_cast<unsigned long long>(announced) <= maxBytes)
      room = static_cast<std::size_t>(announced);
  }
  text.reserve(text.size() + room);
  // Every byte read is kept, NUL bytes too: a NUL ends a value the scanner
  // reads, never the page. A page that never ends, or is enormous, would
  // hold the crawl and the memory for ever: past either limit it is cut,
  // and what came of it is scanned as if the page had ended there.
  const std::size_t start = text.size();
  char buffer[kPageChunk + 1];
  for (;;) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ReportPageCut(crawl, url, PageCut::TooSlow);
      break;
    }
    const std::size_t left = maxBytes - (text.size() - start);
    // At the size limit one byte more is asked for, to tell a page that
    // ends right there from one that goes on.
    auto read = request.Read(buffer, left == 0 ? 1 : std::min(left, kPageChunk));
    if (!read) {
      // What was read so far stays in the text, but it is not scanned.
      ReportFetchError(crawl, read.error(), url);
      return false;
    }
    if (*read == 0) break;
    if (left == 0) {
      ReportPageCut(crawl, url, PageCut::TooLarge);
      break;
    }
    text.append(buffer, *read);
  }
  return true;
}

void CFetchwickDoc::ReportPageCut(CCrawl& crawl, const std::string& url, PageCut why) {
  ++crawl.pagesCut;
  if (why == PageCut::TooLarge) {
    SetCrawlStatus(crawl, FormatText(crawl_text::kPageTooLarge, static_cast<unsigned long long>(m_pageLimits.maxBytes),
                                     url.c_str()));
  } else {
    const double seconds = std::chrono::duration<double>(m_pageLimits.maxTime).count();
    SetCrawlStatus(crawl, FormatText(crawl_text::kPageTooSlow, seconds, url.c_str()));
  }
}

void CFetchwickDoc::ReportFetchError(const CCrawl& crawl, http::ErrorCode code, const std::string& url) {
  if (crawl.quiet || IsStopError(code) || crawl.superseded || m_bClosing) return;
  m_host.ShowMessageBox(NamingAddress(http::ErrorMessage(code), url));
}
