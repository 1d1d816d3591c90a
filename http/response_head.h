#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http {

// The status line and header fields of the response a request ends with.
// libcurl hands over every header line of every response it reads,
// including interim (1xx) answers and the redirects it follows; this keeps
// only the last response and tells when its head is complete and final.
class ResponseHead {
 public:
  enum class Redirects { Follow, Stop };

  explicit ResponseHead(Redirects redirects = Redirects::Follow) : m_redirects(redirects) {}

  // Takes one header line as libcurl delivers it (with its line end). Returns
  // true when the line completed the head of the final response: one that is
  // neither interim nor a redirect that will be followed.
  bool OnLine(std::string_view line);

  bool complete() const { return m_complete; }
  Redirects redirects() const { return m_redirects; }
  int statusCode() const { return m_statusCode; }
  // "HTTP/1.1", "HTTP/1.0", ... as the status line gave it.
  const std::string& version() const { return m_version; }
  // The first field of that name (compared without regard to case), trimmed.
  std::optional<std::string> Find(std::string_view name) const;

 private:
  Redirects m_redirects;
  bool m_complete = false;
  int m_statusCode = 0;
  std::string m_version;
  std::vector<std::pair<std::string, std::string>> m_fields;
};

}  // namespace http
