#include "driver/address_wait.h"

#include <windows.h>

namespace reihen::engine {

// The system's wait on an address: the standard library's atomic wait here
// keeps its sleepers under a lock that its wake-up does not take, and can
// miss a wake-up.
void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t old) {
    // An atomic word of 32 bits is a word of 32 bits, which the system reads.
    auto* address = const_cast<std::atomic<std::uint32_t>*>(&word);
    WaitOnAddress(address, &old, sizeof old, INFINITE);
}

void wake_all(std::atomic<std::uint32_t>& word) { WakeByAddressAll(&word); }

}  // namespace reihen::engine
