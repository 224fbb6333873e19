#include "keys/windows_console_keys.h"

#include <gtest/gtest.h>

namespace {

using reihen::console_key_code;
using reihen::ConsoleKeyEvent;
using reihen::kNotAKeyPress;

constexpr std::uint32_t kShift = 0x0010;
constexpr std::uint32_t kLeftCtrl = 0x0008;
constexpr std::uint32_t kLeftAlt = 0x0002;
constexpr std::uint32_t kRightAlt = 0x0001;
constexpr std::uint32_t kNumLock = 0x0020;
constexpr std::uint32_t kEnhanced = 0x0100;

TEST(WindowsConsoleKeys, EventsGiveTheRuntimesFirstCode) {
    const struct {
        const char* name;
        ConsoleKeyEvent event;
        int code;
    } cases[] = {
        {"x", {true, 'X', 'x', 0}, 'x'},
        {"Shift+a", {true, 'A', 'A', kShift}, 'A'},
        {"Ctrl+a", {true, 'A', 1, kLeftCtrl}, 1},
        {"Ctrl+C", {true, 'C', 3, kLeftCtrl}, 3},
        {"Enter", {true, 0x0D, 13, 0}, 13},
        {"keypad Enter", {true, 0x0D, 13, kEnhanced}, 13},
        {"Tab", {true, 0x09, 9, 0}, 9},
        {"Esc", {true, 0x1B, 27, 0}, 27},
        {"Esc without a character", {true, 0x1B, 0, 0}, 27},
        {"a in code page 850", {true, 0xDE, 0x84, 0}, 0x84},
        {"AltGr+q", {true, 'Q', '@', kRightAlt | kLeftCtrl}, '@'},
        {"Alt+a", {true, 'A', 'a', kLeftAlt}, 0},
        {"Alt+a without a character", {true, 'A', 0, kLeftAlt}, 0},
        {"Ctrl+2", {true, '2', 0, kLeftCtrl}, 0},
        {"F1", {true, 0x70, 0, 0}, 0},
        {"Shift+F5", {true, 0x74, 0, kShift}, 0},
        {"Alt+F10", {true, 0x79, 0, kLeftAlt}, 0},
        {"F11", {true, 0x7A, 0, 0}, 224},
        {"Ctrl+F12", {true, 0x7B, 0, kLeftCtrl}, 224},
        {"grey Up", {true, 0x26, 0, kEnhanced}, 224},
        {"grey Delete", {true, 0x2E, 0, kEnhanced | kNumLock}, 224},
        {"keypad Home", {true, 0x24, 0, 0}, 0},
        {"keypad Page Down", {true, 0x22, 0, 0}, 0},
        {"keypad 7 with Num Lock", {true, 0x67, '7', kNumLock}, '7'},
        {"key release", {false, 'X', 'x', 0}, kNotAKeyPress},
        {"Shift alone", {true, 0x10, 0, kShift}, kNotAKeyPress},
        {"Ctrl alone", {true, 0x11, 0, kLeftCtrl}, kNotAKeyPress},
        {"Alt alone", {true, 0x12, 0, kLeftAlt}, kNotAKeyPress},
        {"Caps Lock", {true, 0x14, 0, 0}, kNotAKeyPress},
        {"Num Lock", {true, 0x90, 0, kEnhanced}, kNotAKeyPress},
        {"Scroll Lock", {true, 0x91, 0, 0}, kNotAKeyPress},
    };
    for (const auto& c : cases) EXPECT_EQ(console_key_code(c.event), c.code) << c.name;
}

}  // namespace
