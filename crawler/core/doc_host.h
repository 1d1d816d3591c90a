#pragma once

#include <cstdint>
#include <memory>

#include "crawler/core/link_entry.h"

// Private messages of the crawler's document to its windows, under the names
// and values the windows have always known them by.
inline constexpr std::uint32_t WM_LINK_FOUND = 0x1401;  // a deep crawl listed a link

// WM_LINK_FOUND: the entry that was listed, with the list that holds it. The
// list travels with the message, so the entry stays valid however late the
// message arrives, and the view can tell a message of an older crawl (whose
// list is no longer the document's) and drop it.
struct LinkFoundMessage {
  std::shared_ptr<const LinkList> list;
  const LinkEntry* entry = nullptr;
};

// What the document needs of its windows. The window layer implements it with
// Qt (posted events, the first view, the main window); tests implement it
// with a recorder. Every call may come from a crawl thread.
//
// Further crawler messages (crawl done, busy start and end, status and
// address texts, message boxes) join here as the document grows.
class IFetchwickHost {
 public:
  virtual ~IFetchwickHost() = default;

  // Whether the document has a view to post to.
  virtual bool HasView() const = 0;
  // Posts WM_LINK_FOUND to the first view; never waits for it to be handled.
  virtual void PostLinkFound(LinkFoundMessage message) = 0;
};
