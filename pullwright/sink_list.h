#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "contract/interfaces.h"

// The engine's connection slots: the advised sinks, each under the cookie
// it was given, and the one way events reach them. Its lock (the object
// lock) guards the slots only and is never held while a sink is called.
class SinkList {
 public:
  HRESULT Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie);
  HRESULT Unadvise(std::uint32_t dwCookie);
  // Sends one event to the connected sinks: an error only to the first
  // slot, everything else to every slot in order; returns once all have
  // answered.
  void Fire(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls);

 private:
  std::mutex m_csSinks;
  std::vector<std::shared_ptr<ICallbackItf>> m_sinks;
};
