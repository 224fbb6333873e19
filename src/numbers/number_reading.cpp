#include "numbers/number_reading.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <istream>
#include <string>
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
