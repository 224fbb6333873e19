#include "keys/windows_console_keys.h"

namespace reihen {
namespace {

// Control-key state flags and virtual keys of the console interface.
constexpr std::uint32_t kRightAlt = 0x0001;
constexpr std::uint32_t kLeftAlt = 0x0002;
constexpr std::uint32_t kRightCtrl = 0x0004;
constexpr std::uint32_t kLeftCtrl = 0x0008;
constexpr std::uint32_t kEnhancedKey = 0x0100;

constexpr std::uint16_t kEscape = 0x1B;
constexpr std::uint16_t kPageUp = 0x21;  // Page Up, Page Down, End, Home, arrows
constexpr std::uint16_t kDown = 0x28;
constexpr std::uint16_t kInsert = 0x2D;
constexpr std::uint16_t kDelete = 0x2E;
constexpr std::uint16_t kDigit0 = 0x30;
constexpr std::uint16_t kLetterZ = 0x5A;
constexpr std::uint16_t kF1 = 0x70;
constexpr std::uint16_t kF10 = 0x79;
constexpr std::uint16_t kF11 = 0x7A;
constexpr std::uint16_t kF12 = 0x7B;
constexpr std::uint16_t kFirstPunctuation = 0xBA;  // the keys of ; = , - . / `
constexpr std::uint16_t kLastPunctuation = 0xC0;
constexpr std::uint16_t kFirstBracket = 0xDB;  // the keys of [ \ ] ' and more
constexpr std::uint16_t kLastBracket = 0xE2;

bool is_editing_key(std::uint16_t key) {
    return (key >= kPageUp && key <= kDown) || key == kInsert || key == kDelete;
}

bool is_character_key(std::uint16_t key) {
    return (key >= kDigit0 && key <= kLetterZ) ||
           (key >= kFirstPunctuation && key <= kLastPunctuation) ||
           (key >= kFirstBracket && key <= kLastBracket);
}

}  // namespace

int console_key_code(const ConsoleKeyEvent& event) {
    if (!event.key_down) return kNotAKeyPress;
    const bool alt = (event.control_keys & (kLeftAlt | kRightAlt)) != 0;
    const bool ctrl = (event.control_keys & (kLeftCtrl | kRightCtrl)) != 0;
    if (event.character != 0) {
        // AltGr comes as Ctrl+Alt and types characters such as @ and {.
        if (alt && !ctrl && is_character_key(event.virtual_key)) return kFunctionKey;
        return event.character;
    }
    const std::uint16_t key = event.virtual_key;
    if (key >= kF1 && key <= kF10) return kFunctionKey;
    if (key == kF11 || key == kF12) return kSpecialKey;
    if (is_editing_key(key)) {
        return (event.control_keys & kEnhancedKey) != 0 ? kSpecialKey : kFunctionKey;
    }
    // Some consoles give Esc no character; its code is the same as ever.
    if (key == kEscape) return kEscape;
    // Alt with a character key, and Ctrl+2 (the NUL character).
    if ((alt || ctrl) && is_character_key(key)) return kFunctionKey;
    return kNotAKeyPress;
}

}  // namespace reihen
