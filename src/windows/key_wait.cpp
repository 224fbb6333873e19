#include "key_wait.h"

#include <windows.h>

#include "windows_console_keys.h"

namespace reihen {
namespace {

// Shared with the control handler, which runs on a thread of its own.
HANDLE g_console = INVALID_HANDLE_VALUE;
DWORD g_saved_mode = 0;

// Ctrl+Break and closing the window or the session still end the program
// while the wait runs: the console's mode is restored first, then the
// default handling goes on.
BOOL WINAPI restore_on_ending_event(DWORD event) {
    (void)event;
    SetConsoleMode(g_console, g_saved_mode);
    return FALSE;
}

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
    const HANDLE console =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return kNoKey;
    int code = kNoKey;
    DWORD saved = 0;
    if (GetConsoleMode(console, &saved) != 0) {
        g_console = console;
        g_saved_mode = saved;
        SetConsoleCtrlHandler(restore_on_ending_event, TRUE);
        // Mode 0: no line input, no echo, and Ctrl+C comes as the key 3.
        if (SetConsoleMode(console, 0) != 0) code = read_key(console);
        SetConsoleMode(console, saved);
        SetConsoleCtrlHandler(restore_on_ending_event, FALSE);
        g_console = INVALID_HANDLE_VALUE;
    }
    CloseHandle(console);
    return code;
}

// Windows exit codes hold every key code as it is, -1 included.
int exit_status(int key_code) { return key_code; }

}  // namespace reihen
