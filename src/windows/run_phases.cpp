#include "console/run_phases.h"

#include <windows.h>

#include <atomic>

#include "key_wait_console.h"

namespace reihen {
namespace {

// Shared with the console's control handler, which runs on a thread of its
// own. The key wait's console and its mode from before are set before the
// phase is, and cleared after it has ended.
std::atomic<RunPhase> g_phase{RunPhase::kDialogue};
std::atomic<bool> g_interrupted{false};
HANDLE g_console = INVALID_HANDLE_VALUE;
DWORD g_before = 0;
bool g_installed = false;

// Ctrl+C ends the summation while it runs. Ctrl+Break, closing the window
// and ending the session end the program by the default handling, which
// follows where the handler returns FALSE; in the key wait the console's
// mode from before is restored first. The console echoes nothing while the
// program computes, keeps what was written when Ctrl+C is pressed and has
// no stop key: the other phases change nothing.
BOOL WINAPI on_control_event(DWORD event) {
    const RunPhase phase = g_phase;
    if (phase == RunPhase::kSummation && event == CTRL_C_EVENT) {
        g_interrupted = true;
        return TRUE;
    }
    if (phase == RunPhase::kKeyWait) SetConsoleMode(g_console, g_before);
    return FALSE;
}

// Mode 0: no line input, no echo, and Ctrl+C comes as the key 3.
bool enter_key_wait() {
    const HANDLE console =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return false;
    DWORD before = 0;
    if (GetConsoleMode(console, &before) == 0) {
        CloseHandle(console);
        return false;
    }
    g_console = console;
    g_before = before;
    g_phase = RunPhase::kKeyWait;
    return SetConsoleMode(console, 0) != 0;
}

void leave_key_wait() {
    if (g_console == INVALID_HANDLE_VALUE) return;
    g_phase = RunPhase::kClosing;
    SetConsoleMode(g_console, g_before);
    CloseHandle(g_console);
    g_console = INVALID_HANDLE_VALUE;
}

}  // namespace

bool enter_phase(RunPhase phase) {
    if (g_phase == RunPhase::kKeyWait && phase != RunPhase::kKeyWait) leave_key_wait();
    if (phase == RunPhase::kDialogue) {
        if (g_installed) SetConsoleCtrlHandler(on_control_event, FALSE);
        g_installed = false;
        g_phase = phase;
        return true;
    }
    if (!g_installed) g_installed = SetConsoleCtrlHandler(on_control_event, TRUE) != 0;
    if (phase == RunPhase::kSummation) g_interrupted = false;
    if (phase == RunPhase::kKeyWait) return g_phase == RunPhase::kKeyWait || enter_key_wait();
    g_phase = phase;
    return true;
}

bool interrupt_requested() { return g_interrupted; }

void note_status_row(bool) {}

std::chrono::nanoseconds time_stopped() { return std::chrono::nanoseconds(0); }

bool continued_since_asked() { return false; }

HANDLE key_wait_console() { return g_console; }

}  // namespace reihen
