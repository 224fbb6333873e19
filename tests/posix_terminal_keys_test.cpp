#include "keys/posix_terminal_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using reihen::ByteSource;

// Bytes as a terminal would deliver them; '|' marks a pause longer than the
// short wait, and the end of the script is a pause too. Reading past the end
// without a short wait fails.
class ScriptedBytes : public ByteSource {
public:
    explicit ScriptedBytes(std::string script) : script_(std::move(script)) {}

    int next_byte(bool short_wait) override {
        while (pos_ < script_.size() && script_[pos_] == '|') {
            ++pos_;
            if (short_wait) return kTimedOut;
        }
        if (pos_ == script_.size()) return short_wait ? kTimedOut : kFailed;
        return static_cast<unsigned char>(script_[pos_++]);
    }

    // What is left after the pauses in front of it.
    std::string rest() const { return script_.substr(script_.find_first_not_of('|', pos_)); }

private:
    std::string script_;
    std::size_t pos_ = 0;
};

TEST(PosixTerminalKeys, DecodesOneKeyAndConsumesItWhole) {
    const struct {
        const char* name;
        std::string bytes;
        int code;
    } cases[] = {
        {"letter", "x", 'x'},
        {"Enter", "\r", 13},
        {"Tab", "\t", 9},
        {"Backspace", "\x7f", 127},
        {"Ctrl-C", "\x03", 3},
        {"Ctrl-Z", "\x1a", 26},
        {"Ctrl-backslash", "\x1c", 28},
        {"Esc alone", "\x1b", 27},
        {"a-umlaut", "\xc3\xa4", 228},
        {"sharp s", "\xc3\x9f", 223},
        {"U+0001", "\x01", 1},
        {"euro sign", "\xe2\x82\xac", '?'},
        {"emoji", "\xf0\x9f\x98\x80", '?'},
        {"stray continuation byte", "\x80", 0x80},
        {"Latin-1 a-umlaut", "\xe4", 0xe4},
        {"cut short", "\xc3|", 0xc3},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", 0xf4},
        {"overlong form", "\xe0\x80\xaf", 0xe0},
        {"surrogate", "\xed\xa0\x80", 0xed},
        {"cursor up", "\x1b[A", 224},
        {"cursor up, application mode", "\x1bOA", 224},
        {"Ctrl cursor right", "\x1b[1;5C", 224},
        {"Home", "\x1b[H", 224},
        {"End", "\x1b[4~", 224},
        {"Insert", "\x1b[2~", 224},
        {"Delete", "\x1b[3~", 224},
        {"Page Up", "\x1b[5~", 224},
        {"Page Down with Shift", "\x1b[6;2~", 224},
        {"F1", "\x1bOP", 0},
        {"F4 with Ctrl", "\x1b[1;5S", 0},
        {"F1 on the Linux console", "\x1b[[A", 0},
        {"F5", "\x1b[15~", 0},
        {"F10", "\x1b[21~", 0},
        {"F11", "\x1b[23~", 224},
        {"F12", "\x1b[24~", 224},
        {"Alt-x", "\x1bx", 0},
        {"Alt-a-umlaut", "\x1b\xc3\xa4", 0},
        {"Alt-Esc", "\x1b\x1b", 0},
        {"Alt cursor up, Esc-prefixed", "\x1b\x1b[A", 224},
        {"Shift-Tab", "\x1b[Z", 224},
        {"unknown sequence", "\x1b[99;99;99z", 224},
        {"sequence cut short", "\x1b[12|", 224},
        {"focus report, then a key", "\x1b[I\x1b[Ox", 'x'},
        {"mouse reports, then a key", "\x1b[M !!\x1b[<0;10;5M\x1b[<0;10;5my", 'y'},
        {"paste markers, then a key", "\x1b[200~\x1b[201~z", 'z'},
    };
    for (const auto& c : cases) {
        ScriptedBytes source(c.bytes + "|rest");
        EXPECT_EQ(reihen::read_key_code(source), c.code) << c.name;
        EXPECT_EQ(source.rest(), "rest") << c.name;
    }
}

TEST(PosixTerminalKeys, FailingSourceGivesMinusOne) {
    for (const std::string bytes : {"", "\x1b[200~", "\x1b[I"}) {
        ScriptedBytes source(bytes);
        EXPECT_EQ(reihen::read_key_code(source), -1);
    }
}

}  // namespace
