// Where the page crawls have been.

#include "crawler/core/address_history.h"

void AddressHistory::MoveTo(std::string url, bool pushCurrent) {
  if (pushCurrent && !m_strCurrentURL.empty()) m_backStack.push_back(m_strCurrentURL);
  m_strCurrentURL = std::move(url);
}
