#include "status_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace reihen {
namespace {

constexpr int kSignificantDigits = 12;
constexpr double kExponentFormFrom = 1e15;
// The last column, where terminals wrap. Nothing typed is echoed during the
// run, so no "^C" follows the line.
constexpr int kColumnsKeptFree = 1;

std::string to_text(double value, std::chars_format format, int precision) {
    std::array<char, 32> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision);
    return {buffer.data(), result.ptr};
}

// Digits before the point of a value below 10^15 (1 for 0). Powers of ten up
// to 10^22 are exact doubles, so the comparisons are exact.
int integer_digits(double magnitude) {
    int digits = 1;
    double power = 10.0;
    while (power <= magnitude) {
        ++digits;
        power *= 10.0;
    }
    return digits;
}

}  // namespace

std::string compact_number(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    if (std::isnan(value)) return "nan";
    const double magnitude = std::fabs(value);
    if (magnitude >= kExponentFormFrom) {
        return to_text(value, std::chars_format::scientific, kSignificantDigits - 1);
    }
    const int decimals = std::max(0, kSignificantDigits - integer_digits(magnitude));
    return to_text(value, std::chars_format::fixed, decimals);
}

std::string status_line(std::uint64_t terms, double sum, std::chrono::seconds elapsed, int width) {
    const std::string count = "Summanden: " + std::to_string(terms);
    const std::string total = compact_number(sum);
    const std::string time = "Zeit: " + std::to_string(elapsed.count()) + " s";
    const auto room = static_cast<std::size_t>(std::max(0, width - kColumnsKeptFree));
    // The long words where there is room; then short ones, which fit the
    // four fields into 80 columns; then the hint is dropped, the sum, which
    // takes the most room, and the time.
    const std::array<std::string, 6> choices{
        count + "   Zwischensumme: " + total + "   " + time + "   (Strg+C beendet die Summation)",
        count + "  Summe: " + total + "  " + time + "  Strg+C: Abbruch",
        count + "  Summe: " + total + "  " + time,
        count + "  " + time,
        count,
        "n=" + std::to_string(terms),
    };
    const auto fits = std::find_if(choices.begin(), choices.end(),
                                   [&](const std::string& text) { return text.size() <= room; });
    return fits == choices.end() ? std::string() : *fits;
}

}  // namespace reihen
