#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "crawler/core/doc_host.h"
#include "crawler/core/link_entry.h"
#include "http/url_parts.h"

// Whether AddLink announces a new entry to the view at once (the deep crawl)
// or leaves it to the rebuild after the crawl (the page crawl).
enum class Notify { Off, On };

// The crawler's document: everything below its windows. It reaches the
// windows only through its host.
class CFetchwickDoc {
 public:
  explicit CFetchwickDoc(IFetchwickHost& host);
  ~CFetchwickDoc();
  CFetchwickDoc(const CFetchwickDoc&) = delete;
  CFetchwickDoc& operator=(const CFetchwickDoc&) = delete;

  // The list of the current crawl. Any thread may call these.
  std::shared_ptr<LinkList> Links() const;
  // Starts the list of a new crawl and returns it. The previous list lives on
  // for as long as a row, a message or its crawl thread still holds it.
  std::shared_ptr<LinkList> StartNewLinkList();

  // The text of the page fetched by the page crawl.
  const std::string& PageText() const { return m_strPageText; }
  void SetPageText(std::string text) { m_strPageText = std::move(text); }

  // Records the address of the page just fetched: its host, its origin and
  // its base directory, which relative references of the page complete
  // against. An address the URL splitter rejects changes nothing and gives
  // false, so the previous page's values stay.
  bool SetPageAddress(std::string_view url);
  const std::string& Server() const { return m_strServer; }
  const std::string& Origin() const { return m_strOrigin; }
  const std::string& Base() const { return m_strBase; }

  // The "Exclude Foreign" setting: a deep crawl follows only links to the
  // host of the page it came from.
  bool ExcludeForeign() const { return m_bExcludeForeign.load() != 0; }
  void SetExcludeForeign(bool exclude) { m_bExcludeForeign.store(exclude ? 1 : 0); }

  // Lists every value written after `keyword` in the page text, in text
  // order: the first form on the list that is current when the scan starts,
  // the second on the list of the crawl that fetched the page.
  void ScanForKeyword(std::string_view keyword);
  void ScanForKeyword(const std::shared_ptr<LinkList>& list, std::string_view keyword);

  // Completes `url` in place and lists it, unless it is empty, a mail link,
  // or already listed. Returns true when the link is a page the deep crawl
  // may follow. The first form lists on the current list; the second on the
  // list of the crawl that found the link, which need not be current any more.
  bool AddLink(std::string& url, Notify notify);
  bool AddLink(const std::shared_ptr<LinkList>& list, std::string& url, Notify notify);

  // Whether the deep crawl may follow `url`: always when "Exclude Foreign" is
  // off, otherwise when its host equals the current page's host byte for
  // byte (ports are not compared). An address that cannot be split is never
  // followed.
  bool IsSameSite(std::string_view url) const;

 private:
  // Whether an address already split (null: it could not be) names the
  // current page's host, byte for byte.
  bool IsServerHost(const std::optional<UrlParts>& parts) const;

  IFetchwickHost& m_host;

  mutable std::mutex m_csLinks;  // guards the pointer m_links, not the list
  std::shared_ptr<LinkList> m_links;

  // FIXME: the page text, server, origin and base belong to the crawl that
  // fetched the page; while a superseded crawl thread still runs beside a
  // new one they are shared, until the crawl controller gives each crawl its own.
  std::string m_strPageText;
  std::string m_strServer;  // bare host name of the current page
  // Scheme, host and port of the current page. Before any page it is the bare
  // scheme, so that completion gives what it always gave without a host.
  std::string m_strOrigin = "http://";
  std::string m_strBase;  // base directory of the current page, ends with "/"

  std::atomic<int> m_bExcludeForeign{1};
};
