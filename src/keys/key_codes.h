// The codes a key press gives on every platform, as the console runtime's
// table of keys has them, and what a wait for one can tell besides.
#pragma once

namespace reihen {

// The first code of a special key's two-code sequence: F1 to F10, the
// keypad's cursor and editing keys, Alt with a character key.
constexpr int kFunctionKey = 0;
// The first code of F11, F12 and the grey cursor and editing keys.
constexpr int kSpecialKey = 224;
// No key to be had: no console or terminal, or reading from it failed.
constexpr int kNoKey = -1;
// An event or sequence that is no key press: the wait goes on.
constexpr int kNotAKeyPress = -2;

}  // namespace reihen
