#include <iostream>
#include <locale>

#include "console/console_monitor.h"
#include "dialogue/dialogue.h"
#include "keys/key_wait.h"

int main() {
    // The program's own buffers: standard output is flushed at every line
    // end and prompt, and standard input is read only through std::cin.
    std::ios::sync_with_stdio(false);
    std::cin.imbue(std::locale::classic());
    std::cout.imbue(std::locale::classic());
    std::cin.tie(&std::cout);
    reihen::ConsoleMonitor monitor;
    const int key =
        reihen::run_dialogue(std::cin, std::cout, std::cerr, reihen::wait_for_key, monitor);
    return reihen::exit_status(key);
}
