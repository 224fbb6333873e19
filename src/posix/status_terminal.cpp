#include "console/status_terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace reihen {
namespace {

constexpr int kDefaultWidth = 80;
// Back to the row's start, then erase from the cursor to the row's end.
constexpr const char* kToRowStart = "\r";
constexpr const char* kEraseToRowEnd = "\x1b[K";

void write_error(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace

bool error_shows_status() {
    // Read before the summation starts its threads, and nothing sets it.
    const char* type = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe)
    return isatty(STDERR_FILENO) == 1 && (type == nullptr || std::strcmp(type, "dumb") != 0);
}

int error_terminal_width() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultWidth;
    return size.ws_col;
}

// One write each, so that the row never shows half of an update.
void show_status(const std::string& line) { write_error(kToRowStart + line + kEraseToRowEnd); }

void clear_status() { write_error(std::string(kToRowStart) + kEraseToRowEnd); }

}  // namespace reihen
