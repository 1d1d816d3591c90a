#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// Sleeping and polling on a 32-bit word, for the status channel's two
// processes and for the threads of one process that share its polling.
namespace ps::futex {

// A futex word as an atomic: it stays a plain 32-bit word in memory, as the
// system call and the other process see it.
inline std::atomic_ref<std::uint32_t> Word(std::uint32_t& word) { return std::atomic_ref<std::uint32_t>(word); }

// Sleeps while `*word` holds `expected`, until woken or until `deadline`
// (absolute, on the clock steady_clock reads; max: no deadline). May return
// early; the caller checks the word again. `shared`: the word lies in memory
// another process maps.
void Wait(std::uint32_t* word, std::uint32_t expected, std::chrono::steady_clock::time_point deadline,
          bool shared = true);
// Wakes every thread sleeping on `word`.
void WakeAll(std::uint32_t* word, bool shared = true);

// One step of a polling loop: it eases the core, and every `yieldEvery`
// steps offers it instead. That matters on a small machine, where pollers
// (the engine thread and a sink or two) outnumber the cores and the one
// being waited for may sit on this very core behind the poller; with spare
// cores the offer returns at once.
void PollStep(unsigned& steps, unsigned yieldEvery);
// The engine thread waiting for answers holds the work that matters and
// keeps its core for a few steps.
inline constexpr unsigned kWaiterYieldEvery = 8;
// A sink's thread polling for calls has nothing else to do and offers its
// core at every step: the engine's thread, other clients' pollers and a
// window's interface thread then get it at once. Measured on two cores,
// two client processes ran 20 % faster than when it offered every eighth
// step; a window's longest pause was shorter.
inline constexpr unsigned kCallPollerYieldEvery = 1;

}  // namespace ps::futex
