// The size queries behind Get File Size.

#include "crawler/core/size_queries.h"

#include <climits>
#include <cstdlib>

#include "crawler/core/doc_texts.h"
#include "crawler/core/stop_errors.h"
#include "http/request.h"

namespace {

// The decimal value of a Content-Length text as a 32-bit size: sizes beyond
// its range show as the largest value rather than wrapping round to a
// negative one.
std::int32_t SizeFromText(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace

SizeQueries::SizeQueries(IFetchwickHost& host, const std::atomic<bool>& closing, SessionLoan loan)
    : m_host(host), m_bClosing(closing), m_loan(std::move(loan)) {}

SizeQueries::~SizeQueries() { Join(); }

std::int32_t SizeQueries::QueryFileSize(const std::string& url) {
  std::int32_t size = -1;
  // The query holds the crawl session beside any crawl that holds it too;
  // whichever of them ends last closes it.
  std::shared_ptr<http::Session> held;
  m_loan.hold(held);
  if (held) {
    // An ordinary GET whose body is never read.
    auto opened = held->OpenUrl(url, {}, http::kFlagTransferAscii);
    if (opened) {
      const http::Request& request = **opened;
      // An error page's length is not the file's size.
      if (request.StatusCode().value_or(0) < 400) {
        if (auto length = request.QueryHeader("Content-Length")) size = SizeFromText(*length);
      }
    } else if (!IsStopError(opened.error()) && !m_bClosing) {
      m_host.ShowMessageBox(NamingAddress(http::ErrorMessage(opened.error()), url));
    }
  }
  m_loan.release(held);
  return size;
}

void SizeQueries::Start(SizeQueryJob job) {
  if (m_bClosing) return;
  std::lock_guard lock(m_csSizeQueries);
  // Threads that have ended are joined here, so they never pile up.
  for (auto it = m_sizeQueries.begin(); it != m_sizeQueries.end();) {
    if ((*it)->finished) {
      (*it)->thread.join();
      it = m_sizeQueries.erase(it);
    } else {
      ++it;
    }
  }
  auto query = std::make_unique<QueryThread>();
  QueryThread* running = query.get();
  running->thread = std::thread([this, running, job = std::move(job)]() mutable {
    Run(job);
    running->finished = true;
  });
  m_sizeQueries.push_back(std::move(query));
}

void SizeQueries::Run(SizeQueryJob& job) {
  if (!m_host.HasMainWindow()) return;
  m_host.PostBusyStart();
  for (const LinkEntry* entry : job.entries) {
    // A closed window asks for no more sizes.
    if (m_bClosing || !m_host.HasMainWindow()) break;
    const std::int32_t size = QueryFileSize(entry->url);
    entry->size.store(size);
    if (job.onSize) job.onSize(*entry);
  }
  m_host.PostBusyEnd();
}

bool SizeQueries::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    {
      std::lock_guard lock(m_csSizeQueries);
      bool allFinished = true;
      for (const auto& query : m_sizeQueries) allFinished = allFinished && query->finished;
      if (allFinished) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void SizeQueries::Join() {
  std::vector<std::unique_ptr<QueryThread>> queries;
  {
    std::lock_guard lock(m_csSizeQueries);
    queries.swap(m_sizeQueries);
  }
  for (auto& query : queries) query->thread.join();
}
