#include "keys/key_wait.h"

#include <windows.h>

#include "console/run_phases.h"
#include "key_wait_console.h"
#include "keys/windows_console_keys.h"

namespace reihen {
namespace {

int read_key(HANDLE console) {
    for (;;) {
        INPUT_RECORD record{};
        DWORD read = 0;
        if (ReadConsoleInputA(console, &record, 1, &read) == 0 || read != 1) return kNoKey;
        if (record.EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        const int code = console_key_code({key.bKeyDown != FALSE, key.wVirtualKeyCode,
                                           static_cast<unsigned char>(key.uChar.AsciiChar),
                                           static_cast<std::uint32_t>(key.dwControlKeyState)});
        if (code != kNotAKeyPress) return code;
    }
}

}  // namespace

int wait_for_key() {
    const int code = enter_phase(RunPhase::kKeyWait) ? read_key(key_wait_console()) : kNoKey;
    // Nothing follows the key wait: the console as it was found.
    enter_phase(RunPhase::kDialogue);
    return code;
}

// Windows exit codes hold every key code as it is, -1 included.
int exit_status(int key_code) { return key_code; }

}  // namespace reihen
