#pragma once

#include <optional>

namespace gui {

struct LockKeys {
  bool capsLock = false;
  bool numLock = false;
  bool scrollLock = false;
};

// The lock keys' state as the window system reports it; none where it does
// not (offscreen, or a platform without a keyboard indicator query).
std::optional<LockKeys> QueryLockKeys();

}  // namespace gui
