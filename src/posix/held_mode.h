// What the key wait needs of the terminal's hold: the mode to restore.
#pragma once

#include <termios.h>

namespace reihen {

// The terminal's mode from before the program held it, where it does.
bool mode_before_hold(termios& mode);

}  // namespace reihen
