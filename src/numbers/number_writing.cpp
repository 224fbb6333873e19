#include "numbers/number_writing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace reihen {
namespace {

// The first 18 significant digits of |value| > 0, cut off without rounding,
// and the decimal exponent of the first one.
struct LeadingDigits {
    std::array<char, 18> digits;
    int exponent;
};

// The first 18 digits and the exponent of text like "1.2345e-07".
LeadingDigits parse_scientific(const char* text, const char* end) {
    LeadingDigits lead{};
    std::size_t out = 0;
    const char* pos = text;
    for (; *pos != 'e'; ++pos) {
        if (*pos != '.' && out < lead.digits.size()) lead.digits[out++] = *pos;
    }
    std::from_chars(pos + 1 + (pos[1] == '+' ? 1 : 0), end, lead.exponent);
    return lead;
}

LeadingDigits leading_digits(double magnitude) {
    // Rounded to 25 digits, the first 18 are those of the exact value unless
    // a carry ran through digits 19 to 25, which then all read 0. Only then
    // is the exact expansion needed: 767 digits after the first hold that of
    // any double.
    std::array<char, 40> rounded{};
    const char* rounded_end = std::to_chars(rounded.data(), rounded.data() + rounded.size(),
                                            magnitude, std::chars_format::scientific, 24)
                                  .ptr;
    const char* digits_19_to_25 = rounded.data() + 19;  // after the first digit and '.'
    if (!std::all_of(digits_19_to_25, digits_19_to_25 + 7, [](char c) { return c == '0'; })) {
        return parse_scientific(rounded.data(), rounded_end);
    }
    std::array<char, 800> exact{};
    const char* exact_end = std::to_chars(exact.data(), exact.data() + exact.size(), magnitude,
                                          std::chars_format::scientific, 767)
                                .ptr;
    return parse_scientific(exact.data(), exact_end);
}

// Adds one unit in the last place of the decimal digits [first, last);
// returns true when the carry runs out of the first digit (all were 9).
bool increment_digits(const char* first, char* last) {
    while (last != first) {
        --last;
        if (*last != '9') {
            ++*last;
            return false;
        }
        *last = '0';
    }
    return true;
}

constexpr int kSignificantDigits = 12;
constexpr double kExponentFormFrom = 1e15;

std::string to_text(double value, std::chars_format format, int precision) {
    std::array<char, 32> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision);
    return {buffer.data(), result.ptr};
}

// Digits before the point of a value below 10^15 (1 for 0). Powers of ten up
// to 10^22 are exact doubles, so the comparisons are exact.
int digits_before_point(double magnitude) {
    int digits = 1;
    double power = 10.0;
    while (power <= magnitude) {
        ++digits;
        power *= 10.0;
    }
    return digits;
}

}  // namespace

std::string format_fixed(double value, int decimals) {
    std::string text;
    append_fixed(text, value, decimals);
    return text;
}

void append_fixed(std::string& text, double value, int decimals) {
    const bool negative = std::signbit(value);
    if (std::isnan(value) || std::isinf(value)) {
        text += std::isnan(value) ? "nan" : negative ? "-inf" : "inf";
        return;
    }
    const long long fraction_digits = std::max(decimals, 0);

    // Stage one: round half-up to 17 significant digits.
    std::array<char, 17> significant{};
    significant.fill('0');
    int exponent = 0;  // decimal exponent of significant[0]
    const bool nonzero = value != 0.0;
    if (nonzero) {
        const LeadingDigits lead = leading_digits(std::fabs(value));
        std::copy_n(lead.digits.begin(), significant.size(), significant.begin());
        exponent = lead.exponent;
        if (lead.digits[17] >= '5' && increment_digits(significant.begin(), significant.end())) {
            significant.front() = '1';
            ++exponent;
        }
    }
    // The digit in the place of 10^place, zero beyond the 17 digits.
    const auto digit_at = [&](long long place) {
        const long long index = exponent - place;
        return nonzero && index >= 0 && index < 17 ? significant[static_cast<std::size_t>(index)]
                                                   : '0';
    };

    // Stage two: pad with zeros and round half-up at the last printed place.
    const long long integer_digits = nonzero && exponent >= 0 ? exponent + 1 : 1;
    text.reserve(text.size() + static_cast<std::size_t>(integer_digits + fraction_digits + 3));
    if (negative) text.push_back('-');
    const std::size_t first_digit = text.size();
    for (long long place = integer_digits - 1; place >= -fraction_digits; --place) {
        text.push_back(digit_at(place));
    }
    if (digit_at(-fraction_digits - 1) >= '5' &&
        increment_digits(text.data() + first_digit, text.data() + text.size())) {
        text.insert(first_digit, 1, '1');
    }
    if (fraction_digits > 0) {
        text.insert(text.size() - static_cast<std::size_t>(fraction_digits), 1, '.');
    }
}

std::string compact_number(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    if (std::isnan(value)) return "nan";
    const double magnitude = std::fabs(value);
    if (magnitude >= kExponentFormFrom) {
        return to_text(value, std::chars_format::scientific, kSignificantDigits - 1);
    }
    const int decimals = std::max(0, kSignificantDigits - digits_before_point(magnitude));
    return to_text(value, std::chars_format::fixed, decimals);
}

}  // namespace reihen
