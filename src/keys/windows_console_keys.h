// Turning one event of the Windows console's input into a key code.
#pragma once

#include <cstdint>

#include "keys/key_codes.h"

namespace reihen {

// The fields of a console key event that decide its code.
struct ConsoleKeyEvent {
    bool key_down;
    std::uint16_t virtual_key;
    unsigned char character;     // in the console's input code page; 0 for none
    std::uint32_t control_keys;  // the console's control-key state flags
};

// The first code of the key's two-code sequence as the console runtime's
// table has it: a character's code (1 to 255); 0 for F1 to F10, for the
// cursor and editing keys of the numeric keypad and for Alt with a character
// key; 224 for F11, F12 and the grey cursor and editing keys. Key releases,
// Shift, Ctrl, Alt, the lock keys and keys the table does not know give
// kNotAKeyPress.
int console_key_code(const ConsoleKeyEvent& event);

}  // namespace reihen
