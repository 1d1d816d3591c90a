// CFetchwickDoc: scanning the page text and listing what it links to.

#include "contract/ascii_text.h"
#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/link_naming.h"
#include "crawler/core/link_scanner.h"
#include "http/url_parts.h"

namespace {

// Whether an address already split (null: it could not be) names `server`,
// byte for byte.
bool IsServerHost(const std::optional<UrlParts>& parts, const std::string& server) {
  return parts && parts->host == server;
}

// A script to run, not a place to go: never listed, in any letter case.
bool IsScriptLink(std::string_view url) { return StartsWithAnyCase(url, "javascript:"); }

}  // namespace

void CFetchwickDoc::ScanForKeyword(std::string_view keyword) { ScanForKeyword(Links(), keyword); }

void CFetchwickDoc::ScanForKeyword(const std::shared_ptr<LinkList>& list, std::string_view keyword) {
  ScanText(list, m_page, m_strPageText, keyword);
}

void CFetchwickDoc::ScanText(const std::shared_ptr<LinkList>& list, const PageAddress& page, std::string_view text,
                             std::string_view keyword) {
  const KeywordSearch search(keyword);
  std::string value;
  std::ptrdiff_t position = search.Next(text, 0);
  // Once the list is full, the rest of the page can list nothing.
  while (position >= 0 && !list->Cut()) {
    ReadAttributeValue(search.keyword(), position, text, value);
    AddLink(list, page, value, Notify::Off);
    position = search.Next(text, position);
  }
}

bool CFetchwickDoc::AddLink(std::string& url, Notify notify) { return AddLink(Links(), m_page, url, notify); }

bool CFetchwickDoc::AddLink(const std::shared_ptr<LinkList>& list, std::string& url, Notify notify) {
  return AddLink(list, m_page, url, notify);
}

bool CFetchwickDoc::AddLink(const std::shared_ptr<LinkList>& list, const PageAddress& page, std::string& url,
                            Notify notify) {
  if (url.empty()) return false;
  if (url.starts_with("mailto:") || IsScriptLink(url)) return false;
  CompleteURL(url, page.origin, page.base);
  if (list->Contains(url)) return false;

  LinkEntry entry;
  entry.url = url;
  std::string name, extension;
  entry.isFile = ClassifyLink(url, name, extension);
  entry.name = name;
  entry.extension = extension;
  const bool isFile = entry.isFile == 1;
  const bool excludeForeign = ExcludeForeign();
  // Splitting is the dearest step of all, so it is done once and only when
  // the name or the same-site test needs it.
  std::optional<UrlParts> parts;
  const bool needParts = !isFile && (entry.name.empty() || excludeForeign);
  if (needParts) parts = SplitUrl(url);
  // A page without a name of its own ("http://h/dir/", a query) is shown
  // under its host.
  if (entry.name.empty() && !isFile && parts) entry.name = parts->host;

  const LinkEntry* listed = list->Append(std::move(entry));
  if (!listed) return false;

  if (notify == Notify::On && m_host.HasView()) m_host.PostLinkFound(LinkFoundMessage{list, listed});
  // Only a web address can be fetched. Others ("ftp:", "tel:", "MAILTO:")
  // are listed but never followed, not even with "Exclude Foreign" off: the
  // fetch would take them for host names.
  if (isFile || !IsWebAddress(url)) return false;
  return !excludeForeign || IsServerHost(parts, page.server);
}

bool CFetchwickDoc::IsSameSite(std::string_view url) const {
  if (!ExcludeForeign()) return true;
  return IsServerHost(SplitUrl(url), m_page.server);
}
