#include "tests/crawler/core/recording_host.h"

#include <algorithm>

#include "crawler/core/fetchwick_doc.h"

void RecordingHost::Watch(const CFetchwickDoc* doc) { m_doc = doc; }

void RecordingHost::Record(std::string line) {
  {
    std::lock_guard lock(m_mutex);
    m_lines.emplace_back(std::move(line), Clock::now());
  }
  m_changed.notify_all();
}

void RecordingHost::PostCrawlDone(CrawlDoneMessage message) {
  std::lock_guard lock(m_mutex);
  m_lines.emplace_back("crawl done " + message.url, Clock::now());
  m_crawlDone.push_back(std::move(message));
  m_changed.notify_all();
}

void RecordingHost::PostLinkFound(LinkFoundMessage message) {
  std::lock_guard lock(m_mutex);
  m_lines.emplace_back("link " + message.entry->url, Clock::now());
  m_linksFound.push_back(std::move(message));
  m_changed.notify_all();
}

void RecordingHost::WakeIdleRefresh() {
  // The refresh reads the text as it is at that moment, as the status pane does.
  if (const CFetchwickDoc* doc = m_doc.load()) Record("download " + doc->DownloadStatus());
}

std::vector<std::string> RecordingHost::Lines() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> lines;
  for (const auto& [line, when] : m_lines) lines.push_back(line);
  return lines;
}

std::vector<std::string> RecordingHost::LinesOf(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : Lines())
    if (line.starts_with(prefix + " ")) found.push_back(line.substr(prefix.size() + 1));
  return found;
}

std::size_t RecordingHost::Count(const std::string& line) const {
  const auto lines = Lines();
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

bool RecordingHost::WaitFor(const std::string& line, std::size_t times, std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] {
    std::size_t seen = 0;
    for (const auto& [recorded, when] : m_lines) seen += recorded == line ? 1 : 0;
    return seen >= times;
  });
}

std::optional<std::string> RecordingHost::WaitForPrefix(const std::string& prefix, std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  std::optional<std::string> found;
  m_changed.wait_for(lock, limit, [&] {
    for (const auto& [recorded, when] : m_lines)
      if (recorded.starts_with(prefix)) {
        found = recorded;
        return true;
      }
    return false;
  });
  return found;
}

std::optional<RecordingHost::Clock::time_point> RecordingHost::TimeOf(const std::string& line) const {
  std::lock_guard lock(m_mutex);
  for (const auto& [recorded, when] : m_lines)
    if (recorded == line) return when;
  return std::nullopt;
}

std::optional<CrawlDoneMessage> RecordingHost::TakeCrawlDone(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  if (!m_changed.wait_for(lock, limit, [&] { return !m_crawlDone.empty(); })) return std::nullopt;
  CrawlDoneMessage message = std::move(m_crawlDone.front());
  m_crawlDone.pop_front();
  return message;
}

std::vector<LinkFoundMessage> RecordingHost::LinksFound() const {
  std::lock_guard lock(m_mutex);
  return m_linksFound;
}

void RecordingHost::Clear() {
  std::lock_guard lock(m_mutex);
  m_lines.clear();
  m_crawlDone.clear();
  m_linksFound.clear();
}
