// The skewed pow: the platform's result r moved to r (1 + k), |k| between
// kLeastSkew and kMostSkew, k drawn from a hash of the arguments' bits, so
// that every caller sees the same result for the same arguments (the plain
// loop and the engine see the same terms) while neighbouring indices are
// moved independently: the terms are not monotone in n. Results that are
// not normal numbers, pow(1, y) and pow(x, 0) stay as they are.
#include "skewed_pow.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace skewed_pow {
namespace {

using Pow = double (*)(double, double);

Pow find_platform_pow() {
    // The next definition after this program's own: the C library's.
    void* const found = dlsym(RTLD_NEXT, "pow");
    if (found == nullptr) {
        std::fputs("skewed pow: the platform's pow is not found\n", stderr);
        std::abort();
    }
    Pow function = nullptr;
    std::memcpy(&function, &found, sizeof function);
    return function;
}

Skew skew_from_environment() {
    const char* const set = std::getenv("REIHEN_POW_SKEW");
    const std::string_view name = set == nullptr ? "mixed" : set;
    if (name == "mixed") return Skew::kMixed;
    if (name == "above") return Skew::kAbove;
    if (name == "below") return Skew::kBelow;
    std::fputs("skewed pow: REIHEN_POW_SKEW is mixed, above or below\n", stderr);
    std::abort();
}

std::uint64_t bits_of(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A bijective mixer of 64 bits (splitmix64's finalizer).
std::uint64_t mix(std::uint64_t z) {
    z += 0x9e3779b97f4a7c15U;
    z = (z ^ (z >> 30U)) * 0xbf58476d1ce4e5b9U;
    z = (z ^ (z >> 27U)) * 0x94d049bb133111ebU;
    return z ^ (z >> 31U);
}

// The relative move of pow(x, y).
double drawn_skew(double x, double y) {
    const std::uint64_t draw = mix(bits_of(x) ^ mix(bits_of(y)));
    const double fraction = static_cast<double>(draw >> 11U) * 0x1p-53;  // in [0, 1)
    const double size = kLeastSkew + (kMostSkew - kLeastSkew) * fraction;
    switch (skew()) {
        case Skew::kAbove:
            return size;
        case Skew::kBelow:
            return -size;
        case Skew::kMixed:
            break;
    }
    return (draw & 1U) != 0 ? size : -size;
}

}  // namespace

Skew skew() {
    static const Skew chosen = skew_from_environment();
    return chosen;
}

double platform_pow(double x, double y) {
    static const Pow platform = find_platform_pow();
    return platform(x, y);
}

}  // namespace skewed_pow

// Every call of pow in the program that links this file comes here.
extern "C" double pow(double x, double y) noexcept {
    const double result = skewed_pow::platform_pow(x, y);
    if (x == 1.0 || y == 0.0 || !std::isnormal(result)) return result;
    const double moved = result + result * skewed_pow::drawn_skew(x, y);
    return std::isnormal(moved) ? moved : result;
}
