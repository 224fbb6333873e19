#include "number_text.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <istream>
#include <system_error>

namespace reihen {
namespace {

// A double's exact decimal expansion has at most 767 significant digits, so
// 800 kept digits plus one sticky digit for anything nonzero beyond them
// round exactly like the full text.
constexpr std::size_t kKeptDigits = 800;

// Counts of characters and written exponents saturate instead of
// overflowing; no input can be that long, and an exponent that large is far
// outside the double range either way. Their sum still fits in 64 bits.
constexpr std::int64_t kCountCap = 4'000'000'000'000'000'000;
constexpr std::int64_t kExponentCap = 100'000'000'000'000'000;
// Beyond this decimal exponent, any number of up to 801 digits overflows or
// underflows, so the text handed on is limited to it.
constexpr std::int64_t kTextExponentLimit = 1'000'000'000;

// Adds +1 or -1 to a count, saturating at +-kCountCap.
std::int64_t step(std::int64_t count, int direction) {
    if (direction > 0) return count < kCountCap ? count + 1 : count;
    return count > -kCountCap ? count - 1 : count;
}

bool is_digit(int ch) { return ch >= '0' && ch <= '9'; }

// White space as the classic locale defines it.
bool is_space(int ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// Reads characters from the stream's buffer one at a time, so that exactly
// the characters taken are consumed, and records whether the end was reached.
// A buffer that fails to read (standard input closed, a read error) may
// throw; like the stream's own extractors, that counts as the end of input
// and puts the stream into the bad state.
class Scanner {
public:
    explicit Scanner(std::istream& in) : buf_(in.rdbuf()) {}

    int peek() {
        if (buf_ == nullptr) return end_of_input();
        std::char_traits<char>::int_type ch{};
        try {
            ch = buf_->sgetc();
        } catch (...) {
            read_error_ = true;
            return end_of_input();
        }
        if (std::char_traits<char>::eq_int_type(ch, std::char_traits<char>::eof())) {
            return end_of_input();
        }
        return std::char_traits<char>::to_int_type(std::char_traits<char>::to_char_type(ch));
    }
    // Takes the character that peek() has just returned.
    void take() { buf_->sbumpc(); }
    bool accept(char ch) {
        if (peek() != static_cast<unsigned char>(ch)) return false;
        take();
        return true;
    }
    bool at_end() const { return at_end_; }
    bool read_error() const { return read_error_; }

private:
    int end_of_input() {
        at_end_ = true;
        buf_ = nullptr;
        return EOF;
    }

    std::streambuf* buf_;
    bool at_end_ = false;
    bool read_error_ = false;
};

// Flushes the tied stream, checks that the stream is still good and skips
// leading white space. Returns false with the failbit set where no number
// can start.
bool start_read(std::istream& in, Scanner& scan) {
    const std::istream::sentry sentry(in, /*noskipws=*/true);
    if (!sentry) return false;
    while (is_space(scan.peek())) scan.take();
    if (scan.at_end()) {
        in.setstate(std::ios::eofbit | std::ios::failbit |
                    (scan.read_error() ? std::ios::badbit : std::ios::goodbit));
        return false;
    }
    return true;
}

bool finish_read(std::istream& in, const Scanner& scan, bool ok) {
    std::ios::iostate state = scan.at_end() ? std::ios::eofbit : std::ios::goodbit;
    if (!ok) state |= std::ios::failbit;
    if (scan.read_error()) state |= std::ios::badbit;
    in.setstate(state);
    return ok;
}

bool take_sign(Scanner& scan) {
    if (scan.accept('-')) return true;
    scan.accept('+');
    return false;
}

// Significant digits of a number with a bounded memory footprint.
struct Digits {
    std::string kept;  // without leading zeros, at most kKeptDigits
    bool dropped_nonzero = false;
    std::int64_t count = 0;  // all significant digits, saturating

    void add(int ch) {
        if (kept.empty() && ch == '0') return;
        count = step(count, +1);
        if (kept.size() < kKeptDigits) {
            kept.push_back(static_cast<char>(ch));
        } else if (ch != '0') {
            dropped_nonzero = true;
        }
    }
};

bool convert_real(bool negative, const Digits& digits, std::int64_t exponent, double& value) {
    if (digits.kept.empty()) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    // The text "0.<digits>e<exponent>" has the same value as the input.
    std::string text = negative ? "-0." : "0.";
    text += digits.kept;
    if (digits.dropped_nonzero) text.push_back('1');
    text.push_back('e');
    text += std::to_string(std::clamp(exponent, -kTextExponentLimit, kTextExponentLimit));
    double result = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc{} || ptr != text.data() + text.size()) return false;
    if (std::fabs(result) < DBL_MIN) return false;  // would come out subnormal
    value = result;
    return true;
}

bool scan_real(Scanner& scan, double& value) {
    const bool negative = take_sign(scan);
    Digits digits;
    bool any_digit = false;
    std::int64_t point_shift = 0;  // decimal exponent of "0.<kept digits>"
    while (is_digit(scan.peek())) {
        const int ch = scan.peek();
        scan.take();
        any_digit = true;
        digits.add(ch);
        if (!digits.kept.empty()) point_shift = step(point_shift, +1);
    }
    if (scan.accept('.')) {
        while (is_digit(scan.peek())) {
            const int ch = scan.peek();
            scan.take();
            any_digit = true;
            if (digits.kept.empty() && ch == '0') point_shift = step(point_shift, -1);
            digits.add(ch);
        }
    }
    if (!any_digit) return false;

    std::int64_t exponent = 0;
    if (scan.accept('e') || scan.accept('E')) {
        const bool negative_exponent = take_sign(scan);
        if (!is_digit(scan.peek())) return false;
        while (is_digit(scan.peek())) {
            exponent = std::min(exponent * 10 + (scan.peek() - '0'), kExponentCap);
            scan.take();
        }
        if (negative_exponent) exponent = -exponent;
    }
    return convert_real(negative, digits, point_shift + exponent, value);
}

bool scan_int(Scanner& scan, int& value) {
    const bool negative = take_sign(scan);
    if (!is_digit(scan.peek())) return false;
    Digits digits;
    while (is_digit(scan.peek())) {
        digits.add(scan.peek());
        scan.take();
    }
    // More than ten significant digits never fit in an int.
    if (digits.count > 10) return false;
    long long magnitude = 0;
    if (!digits.kept.empty()) {
        std::from_chars(digits.kept.data(), digits.kept.data() + digits.kept.size(), magnitude);
    }
    const long long result = negative ? -magnitude : magnitude;
    if (result < INT_MIN || result > INT_MAX) return false;
    value = static_cast<int>(result);
    return true;
}

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

namespace {

// A failed read leaves the value at zero.
template <typename Number>
bool read_number(std::istream& in, Number& value, bool (*scan_number)(Scanner&, Number&)) {
    value = Number{};
    Scanner scan(in);
    if (!start_read(in, scan)) return false;
    Number result{};
    const bool ok = scan_number(scan, result);
    if (ok) value = result;
    return finish_read(in, scan, ok);
}

}  // namespace

bool read_real(std::istream& in, double& value) { return read_number(in, value, scan_real); }

bool read_int(std::istream& in, int& value) { return read_number(in, value, scan_int); }

}  // namespace reihen
