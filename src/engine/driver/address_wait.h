// Sleeping until another thread changes a word of memory, by the system's
// own wait on an address: one call wakes every thread that sleeps there,
// and none of them queues for a lock as it wakes.
#pragma once

#include <atomic>
#include <cstdint>

namespace reihen::engine {

// Sleeps while `word` holds `old`; may return before it changes.
void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t old);

// Wakes every thread that sleeps on `word`.
void wake_all(std::atomic<std::uint32_t>& word);

}  // namespace reihen::engine
