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

}  // namespace reihen
