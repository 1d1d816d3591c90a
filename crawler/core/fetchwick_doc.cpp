#include "crawler/core/fetchwick_doc.h"

#include "crawler/core/link_naming.h"
#include "http/url_parts.h"

CFetchwickDoc::CFetchwickDoc(IFetchwickHost& host) : m_host(host), m_links(std::make_shared<LinkList>()) {}

CFetchwickDoc::~CFetchwickDoc() = default;

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

bool CFetchwickDoc::SetPageAddress(std::string_view url) {
  const auto parts = SplitUrl(url);
  if (!parts) return false;
  m_strServer = parts->host;
  m_strOrigin = UrlOrigin(*parts);
  BaseDirectory(parts->path, m_strBase);
  return true;
}
