// Formats arbitrary doubles and checks the text against exact decimal
// arithmetic: a double is m * 2^e, whose decimal digits a small big-number
// routine gives exactly.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "numbers/number_writing.h"

namespace {

// A nonnegative integer in decimal digits, most significant first.
using Decimal = std::string;

void multiply(Decimal& number, int factor) {
    int carry = 0;
    for (auto it = number.rbegin(); it != number.rend(); ++it) {
        const int product = (*it - '0') * factor + carry;
        *it = static_cast<char>('0' + product % 10);
        carry = product / 10;
    }
    while (carry > 0) {
        number.insert(number.begin(), static_cast<char>('0' + carry % 10));
        carry /= 10;
    }
}

// The exact digits of |value| > 0 and the number of them after the point.
std::pair<Decimal, int> exact_digits(double value) {
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    // |value| = mantissa * 2^(exponent - 53), mantissa a 53-bit integer.
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    Decimal digits = std::to_string(mantissa);
    for (; exponent >= 13; exponent -= 13) multiply(digits, 1 << 13);
    for (; exponent > 0; --exponent) multiply(digits, 2);
    // m * 2^-k = m * 5^k / 10^k.
    int fives = -exponent;
    for (; fives >= 6; fives -= 6) multiply(digits, 15625);
    for (; fives > 0; --fives) multiply(digits, 5);
    return {digits, -exponent};
}

// Rounds the digit string half-up, keeping `keep` digits (zeros after).
void round_half_up(Decimal& digits, std::size_t keep) {
    if (keep >= digits.size()) return;
    const bool up = digits[keep] >= '5';
    std::fill(digits.begin() + static_cast<long>(keep), digits.end(), '0');
    if (!up) return;
    std::size_t i = keep;
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
        digits.insert(digits.begin(), '1');
    } else {
        ++digits[i - 1];
    }
}

std::string reference(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::string sign = std::signbit(value) ? "-" : "";
    if (value == 0.0) return sign + "0" + (decimals > 0 ? "." + std::string(decimals, '0') : "");
    const auto exact = exact_digits(value);
    Decimal digits = exact.first;
    int after_point = exact.second;
    // Make sure there is at least one digit before the point and enough after it.
    if (static_cast<int>(digits.size()) <= after_point) {
        digits.insert(0, static_cast<std::size_t>(after_point) - digits.size() + 1, '0');
    }
    if (after_point < decimals + 1) {
        digits.append(static_cast<std::size_t>(decimals + 1 - after_point), '0');
        after_point = decimals + 1;
    }
    // Stage one: 17 significant digits.
    const std::size_t first = digits.find_first_not_of('0');
    round_half_up(digits, first + 17);
    // Stage two: the last printed place.
    const auto point_of = [&] { return digits.size() - static_cast<std::size_t>(after_point); };
    round_half_up(digits, point_of() + static_cast<std::size_t>(decimals));
    const std::size_t point = point_of();  // a carry may have added a digit
    std::string integer = digits.substr(0, point);
    const std::size_t leading = std::min(integer.find_first_not_of('0'), integer.size() - 1);
    integer.erase(0, leading);
    std::string text = sign + integer;
    if (decimals > 0) text += "." + digits.substr(point, static_cast<std::size_t>(decimals));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double) + 1) return 0;
    double value = 0.0;
    std::memcpy(&value, data, sizeof value);
    const int decimals = data[sizeof value] % 21;
    if (reihen::format_fixed(value, decimals) != reference(value, decimals)) std::abort();
    return 0;
}
