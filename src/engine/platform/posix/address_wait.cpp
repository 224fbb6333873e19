#include "driver/address_wait.h"

namespace reihen::engine {

// The standard library's atomic wait, which sleeps on the word itself.
void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t old) { word.wait(old); }

void wake_all(std::atomic<std::uint32_t>& word) { word.notify_all(); }

}  // namespace reihen::engine
