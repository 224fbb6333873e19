#include "keys/posix_terminal_keys.h"

namespace reihen {
namespace {

constexpr int kEsc = 0x1b;
constexpr int kUnshowable = '?';

bool is_failure(int byte) { return byte == ByteSource::kFailed; }

// The rest of a UTF-8 character whose first byte is `lead` (0x80 or more).
int decode_utf8(int lead, ByteSource& source) {
    int continuation = 0;
    int code_point = 0;
    int low = 0x80;  // the range of the first continuation byte
    int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        code_point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        code_point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return lead;
    }
    // An overlong form, a surrogate or a code point past U+10FFFF is taken
    // whole but gives the value of its first byte.
    bool valid = true;
    for (int i = 0; i < continuation; ++i) {
        const int byte = source.next_byte(true);
        if (is_failure(byte)) return kNoKey;
        if (byte < 0x80 || byte > 0xBF) return lead;
        if (byte < low || byte > high) valid = false;
        code_point = (code_point << 6) | (byte & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    if (!valid) return lead;
    return code_point <= 0xFF ? code_point : kUnshowable;
}

bool is_parameter_byte(int byte) { return byte >= 0x30 && byte <= 0x3F; }
bool is_intermediate_byte(int byte) { return byte >= 0x20 && byte <= 0x2F; }
bool is_final_byte(int byte) { return byte >= 0x40 && byte <= 0x7E; }

// A control sequence after "ESC [".
int decode_csi(ByteSource& source) {
    int byte = source.next_byte(true);
    if (is_failure(byte)) return kNoKey;
    if (byte == ByteSource::kTimedOut) return kFunctionKey;  // Alt and '['
    if (byte == '[') {
        // The Linux console's F1 to F5: "ESC [ [ A" to "ESC [ [ E".
        byte = source.next_byte(true);
        if (is_failure(byte)) return kNoKey;
        return byte >= 'A' && byte <= 'E' ? kFunctionKey : kSpecialKey;
    }
    if (byte == 'M') {
        // A mouse report in the old form: three raw bytes follow.
        for (int i = 0; i < 3; ++i) {
            if (is_failure(source.next_byte(true))) return kNoKey;
        }
        return kNotAKeyPress;
    }
    const bool private_marker = byte == '<' || byte == '=' || byte == '>' || byte == '?';
    const bool sgr_mouse = byte == '<';
    int first_parameter = 0;
    bool any_parameter = false;
    bool in_first_parameter = true;
    while (is_parameter_byte(byte)) {
        if (byte >= '0' && byte <= '9') {
            any_parameter = true;
            if (in_first_parameter && first_parameter < 100000) {
                first_parameter = first_parameter * 10 + (byte - '0');
            }
        } else if (byte == ';' || byte == ':') {
            in_first_parameter = false;
        }
        byte = source.next_byte(true);
        if (is_failure(byte)) return kNoKey;
    }
    while (is_intermediate_byte(byte)) {
        byte = source.next_byte(true);
        if (is_failure(byte)) return kNoKey;
    }
    if (!is_final_byte(byte)) return kSpecialKey;  // cut short or broken

    if (byte == 'M' || (sgr_mouse && byte == 'm')) return kNotAKeyPress;       // mouse report
    if ((byte == 'I' || byte == 'O') && !any_parameter) return kNotAKeyPress;  // focus report
    if (private_marker) return kSpecialKey;
    if (byte == '~') {
        const int p = first_parameter;
        if (p == 200 || p == 201) return kNotAKeyPress;  // bracketed-paste marker
        if ((p >= 11 && p <= 15) || (p >= 17 && p <= 21)) return kFunctionKey;  // F1 to F10
        return kSpecialKey;
    }
    if (byte >= 'P' && byte <= 'S') return kFunctionKey;  // F1 to F4 with modifiers
    return kSpecialKey;
}

// A sequence after "ESC O": F1 to F4 or the cursor keys in application mode.
int decode_ss3(ByteSource& source) {
    int byte = source.next_byte(true);
    if (is_failure(byte)) return kNoKey;
    if (byte == ByteSource::kTimedOut) return kFunctionKey;  // Alt and 'O'
    while ((byte >= '0' && byte <= '9') || byte == ';') {    // modifier parameters
        byte = source.next_byte(true);
        if (is_failure(byte)) return kNoKey;
    }
    return byte >= 'P' && byte <= 'S' ? kFunctionKey : kSpecialKey;
}

// Whatever follows an Esc byte.
int decode_escape(ByteSource& source) {
    int byte = source.next_byte(true);
    bool alt = false;
    // Some terminals send Alt with a special key as Esc before its sequence.
    while (byte == kEsc) {
        alt = true;
        byte = source.next_byte(true);
    }
    if (is_failure(byte)) return kNoKey;
    if (byte == ByteSource::kTimedOut) return alt ? kFunctionKey : kEsc;
    if (byte == '[') return decode_csi(source);
    if (byte == 'O') return decode_ss3(source);
    if (byte >= 0x80 && decode_utf8(byte, source) == kNoKey) return kNoKey;
    return kFunctionKey;  // Alt with a character
}

}  // namespace

int read_key_code(ByteSource& source) {
    for (;;) {
        const int byte = source.next_byte(false);
        if (byte < 0) return kNoKey;
        int code = byte;
        if (byte == kEsc) {
            code = decode_escape(source);
        } else if (byte >= 0x80) {
            code = decode_utf8(byte, source);
        }
        if (code != kNotAKeyPress) return code;
    }
}

}  // namespace reihen
