// Reads a number from arbitrary bytes and checks it against a model: the
// grammar matched by hand on the text, converted by strtod with its errno.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "numbers/number_reading.h"

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }

struct Expected {
    bool ok;
    double value;
    std::size_t consumed;  // characters taken from the input
};

// Skips white space; returns where the number starts, or npos at the end.
std::size_t number_start(const std::string& in) {
    std::size_t pos = 0;
    while (pos < in.size() && is_space(in[pos])) ++pos;
    return pos == in.size() ? std::string::npos : pos;
}

std::size_t after_sign(const std::string& in, std::size_t pos) {
    return in[pos] == '+' || in[pos] == '-' ? pos + 1 : pos;
}

// The same rules, written out plainly: white space, then the longest prefix
// that can still become a number. Fails where the number is incomplete.
Expected model_real(const std::string& in) {
    const std::size_t start = number_start(in);
    if (start == std::string::npos) return {false, 0.0, in.size()};
    std::size_t pos = after_sign(in, start);
    bool digits = false;
    while (pos < in.size() && is_digit(in[pos])) ++pos, digits = true;
    if (pos < in.size() && in[pos] == '.') {
        ++pos;
        while (pos < in.size() && is_digit(in[pos])) ++pos, digits = true;
    }
    if (!digits) return {false, 0.0, pos};
    if (pos < in.size() && (in[pos] == 'e' || in[pos] == 'E')) {
        ++pos;
        if (pos < in.size() && (in[pos] == '+' || in[pos] == '-')) ++pos;
        if (pos == in.size() || !is_digit(in[pos])) return {false, 0.0, pos};
        while (pos < in.size() && is_digit(in[pos])) ++pos;
    }
    const std::string text = in.substr(start, pos - start);
    errno = 0;
    const double value = std::strtod(text.c_str(), nullptr);
    if (errno == ERANGE || (value != 0.0 && std::fabs(value) < DBL_MIN)) return {false, 0.0, pos};
    return {true, value, pos};
}

Expected model_int(const std::string& in) {
    const std::size_t start = number_start(in);
    if (start == std::string::npos) return {false, 0.0, in.size()};
    std::size_t pos = after_sign(in, start);
    if (pos == in.size() || !is_digit(in[pos])) return {false, 0.0, pos};
    while (pos < in.size() && is_digit(in[pos])) ++pos;
    errno = 0;
    const long long value = std::strtoll(in.substr(start, pos - start).c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return {false, 0.0, pos};
    return {true, static_cast<double>(value), pos};
}

std::size_t consumed(std::istringstream& in, std::size_t size) {
    in.clear();
    const auto pos = in.tellg();
    return pos < 0 ? size : static_cast<std::size_t>(pos);
}

void check(bool same) {
    if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::istringstream in(input);
        double value = 42.0;
        const bool ok = reihen::read_real(in, value);
        const Expected expected = model_real(input);
        check(ok == expected.ok && in.fail() == !ok);
        check(std::memcmp(&value, &expected.value, sizeof value) == 0);  // -0.0 too
        check(consumed(in, size) == expected.consumed);
    }
    {
        std::istringstream in(input);
        int value = 42;
        const bool ok = reihen::read_int(in, value);
        const Expected expected = model_int(input);
        check(ok == expected.ok && value == static_cast<int>(expected.value));
        check(consumed(in, size) == expected.consumed);
    }
    return 0;
}
