#include "console/status_terminal.h"

#include <windows.h>

namespace reihen {
namespace {

constexpr int kDefaultWidth = 80;

HANDLE error_console() { return GetStdHandle(STD_ERROR_HANDLE); }

// The cursor's row and the width of the buffer's rows.
bool cursor_row(CONSOLE_SCREEN_BUFFER_INFO& info) {
    return GetConsoleScreenBufferInfo(error_console(), &info) != 0;
}

// Blanks the row from `column` to its end, in the row's current colours.
void blank_from(const CONSOLE_SCREEN_BUFFER_INFO& info, SHORT column) {
    const COORD from{column, info.dwCursorPosition.Y};
    const DWORD length = column < info.dwSize.X ? static_cast<DWORD>(info.dwSize.X - column) : 0;
    DWORD done = 0;
    FillConsoleOutputCharacterA(error_console(), ' ', length, from, &done);
    FillConsoleOutputAttribute(error_console(), info.wAttributes, length, from, &done);
}

}  // namespace

bool error_shows_status() {
    DWORD mode = 0;
    return GetConsoleMode(error_console(), &mode) != 0;
}

// The visible window's width: the buffer may be wider, but what lies beyond
// the window cannot be seen without scrolling.
int error_terminal_width() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!cursor_row(info)) return kDefaultWidth;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? width : kDefaultWidth;
}

void show_status(const std::string& line) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!cursor_row(info)) return;
    const COORD row_start{0, info.dwCursorPosition.Y};
    SetConsoleCursorPosition(error_console(), row_start);
    DWORD written = 0;
    WriteConsoleA(error_console(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    blank_from(info, static_cast<SHORT>(written));
}

void clear_status() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!cursor_row(info)) return;
    blank_from(info, 0);
    SetConsoleCursorPosition(error_console(), COORD{0, info.dwCursorPosition.Y});
}

}  // namespace reihen
