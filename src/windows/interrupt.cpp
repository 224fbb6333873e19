#include "interrupt.h"

#include <windows.h>

#include <atomic>

namespace reihen {
namespace {

// Set from the console's control handler, which runs on a thread of its own.
std::atomic<bool> g_interrupted{false};

BOOL WINAPI on_control_event(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;  // Ctrl+Break and the rest as ever
    g_interrupted = true;
    return TRUE;
}

}  // namespace

void catch_interrupt() {
    g_interrupted = false;
    SetConsoleCtrlHandler(on_control_event, TRUE);
}

bool interrupt_requested() { return g_interrupted; }

void release_interrupt() { SetConsoleCtrlHandler(on_control_event, FALSE); }

bool error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void write_error(const std::string& text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    for (std::size_t done = 0; done < text.size();) {
        DWORD written = 0;
        if (WriteFile(error, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                      nullptr) == 0 ||
            written == 0) {
            return;
        }
        done += written;
    }
}

}  // namespace reihen
