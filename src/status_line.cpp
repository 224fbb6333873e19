#include "status_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>

namespace reihen {
namespace {

constexpr int kSignificantDigits = 12;
constexpr double kExponentFormFrom = 1e15;
// The last column, and two for the echoed "^C".
constexpr int kColumnsKeptFree = 3;

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

// The first `shown` fields, three spaces apart.
std::string join(std::span<const std::string> fields, std::size_t shown) {
    std::string text;
    for (const std::string& field : fields.first(shown)) {
        if (!text.empty()) text += "   ";
        text += field;
    }
    return text;
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
    const std::string count = std::to_string(terms);
    const std::string total = compact_number(sum);
    const std::string seconds = std::to_string(elapsed.count()) + " s";
    const std::array<std::string, 4> fields{
        "Summanden: " + count,
        "Zwischensumme: " + total,
        "Zeit: " + seconds,
        "(Strg+C beendet die Summation)",
    };
    const auto room = static_cast<std::size_t>(std::max(0, width - kColumnsKeptFree));
    // Fields are dropped from the end; labels are shortened only where the
    // sum would otherwise be lost, and the count keeps its long label as long
    // as it can.
    const std::array<std::string, 6> choices{
        join(fields, 4), join(fields, 3), join(fields, 2), "n=" + count + "  Summe=" + total,
        join(fields, 1), "n=" + count,
    };
    const auto fits = std::find_if(choices.begin(), choices.end(),
                                   [&](const std::string& text) { return text.size() <= room; });
    return fits == choices.end() ? std::string() : *fits;
}

}  // namespace reihen
