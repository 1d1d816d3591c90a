#pragma once

#include <deque>
#include <string>

// Where the page crawls have been: the current address, the document title
// and the Back and Forward stacks. Interface thread only.
class AddressHistory {
 public:
  const std::string& Current() const { return m_strCurrentURL; }
  const std::string& Title() const { return m_strTitle; }
  void SetTitle(std::string title) { m_strTitle = std::move(title); }
  const std::deque<std::string>& BackStack() const { return m_backStack; }
  const std::deque<std::string>& ForwardStack() const { return m_forwardStack; }

  // A page crawl's page arrived: `url` becomes current, and with
  // `pushCurrent` the address current before it goes onto the back stack.
  void MoveTo(std::string url, bool pushCurrent);

  // Back: `crawl` is handed the address on top of the back stack, then the
  // current address goes onto the forward stack. Nothing when it is empty.
  template <class Crawl>
  void GoBack(Crawl&& crawl) {
    if (m_backStack.empty()) return;
    crawl(m_backStack.back());
    m_forwardStack.push_back(m_strCurrentURL);
    m_backStack.pop_back();
  }
  // Forward: `crawl` is handed the address on top of the forward stack,
  // whose crawl puts the current address onto the back stack when it is
  // done. Nothing when it is empty.
  template <class Crawl>
  void GoForward(Crawl&& crawl) {
    if (m_forwardStack.empty()) return;
    crawl(m_forwardStack.back());
    m_forwardStack.pop_back();
  }

 private:
  std::string m_strCurrentURL;
  std::string m_strTitle;
  std::deque<std::string> m_backStack;
  std::deque<std::string> m_forwardStack;
};
