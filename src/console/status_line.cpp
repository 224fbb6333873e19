#include "console/status_line.h"

#include <algorithm>
#include <array>
#include <string>

#include "numbers/number_writing.h"

namespace reihen {
namespace {

// The last column, where terminals wrap. Nothing typed is echoed during the
// run, so no "^C" follows the line.
constexpr int kColumnsKeptFree = 1;

}  // namespace

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
