#include "http/response_head.h"

#include "contract/ascii_text.h"

namespace http {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

bool ResponseHead::OnLine(std::string_view line) {
  // Trailer fields of a chunked body arrive after the final head; the head
  // the caller asked about stays as it was.
  if (m_complete) return false;

  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    // A new response begins: an interim answer or a redirect came before.
    m_fields.clear();
    const std::string_view rest = Trim(line);
    const std::size_t space = rest.find(' ');
    m_version = std::string(rest.substr(0, space));
    m_statusCode = 0;
    if (space != std::string_view::npos) {
      for (char c : Trim(rest.substr(space + 1))) {
        if (c < '0' || c > '9') break;
        m_statusCode = m_statusCode * 10 + (c - '0');
        if (m_statusCode > 999) break;
      }
    }
    return false;
  }

  if (Trim(line).empty()) {
    if (m_statusCode < 200) return false;  // interim answer, the real one follows
    if (m_redirects == Redirects::Follow && m_statusCode >= 300 && m_statusCode < 400) {
      // libcurl follows every 3xx answer that names a non-empty Location.
      const auto location = Find("Location");
      if (location && !location->empty()) return false;
    }
    m_complete = true;
    return true;
  }

  if ((line.front() == ' ' || line.front() == '\t') && !m_fields.empty()) {
    // An obsolete folded line continues the previous field.
    m_fields.back().second += ' ';
    m_fields.back().second += Trim(line);
    return false;
  }

  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  m_fields.emplace_back(std::string(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1))));
  return false;
}

std::optional<std::string> ResponseHead::Find(std::string_view name) const {
  for (const auto& [field, value] : m_fields)
    if (EqualsAnyCase(field, name)) return value;
  return std::nullopt;
}

}  // namespace http
