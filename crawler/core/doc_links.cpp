// CFetchwickDoc: scanning the page text and listing what it links to.

#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/link_naming.h"
#include "crawler/core/link_scanner.h"
#include "http/url_parts.h"

void CFetchwickDoc::ScanForKeyword(std::string_view keyword) {
  const std::shared_ptr<LinkList> list = Links();
  const std::string_view text = m_strPageText;
  const KeywordSearch search(keyword);
  std::ptrdiff_t position = search.Next(text, 0);
  while (position >= 0) {
    std::string value = ReadAttributeValue(search.keyword(), position, text);
    AddLink(list, value, Notify::Off);
    position = search.Next(text, position);
  }
}

bool CFetchwickDoc::AddLink(std::string& url, Notify notify) { return AddLink(Links(), url, notify); }

bool CFetchwickDoc::AddLink(const std::shared_ptr<LinkList>& list, std::string& url, Notify notify) {
  if (url.empty()) return false;
  if (url.starts_with("mailto:")) return false;
  CompleteURL(url, m_strOrigin, m_strBase);
  if (list->Contains(url)) return false;

  LinkEntry entry;
  entry.url = url;
  entry.isFile = ClassifyLink(url, entry.name, entry.extension);
  // A page without a name of its own ("http://h/dir/", a query) is shown
  // under its host.
  if (entry.name.empty() && entry.isFile == 0) {
    if (const auto parts = SplitUrl(url)) entry.name = parts->host;
  }
  const std::int32_t isFile = entry.isFile;
  const LinkEntry* listed = list->Append(std::move(entry));
  if (!listed) return false;

  if (notify == Notify::On && m_host.HasView()) m_host.PostLinkFound(LinkFoundMessage{list, listed});
  return isFile == 1 ? false : IsSameSite(url);
}

bool CFetchwickDoc::IsSameSite(std::string_view url) const {
  if (!ExcludeForeign()) return true;
  const auto parts = SplitUrl(url);
  if (!parts) return false;
  return parts->host == m_strServer;
}
