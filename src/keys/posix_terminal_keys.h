// Turning the bytes a terminal sends for one key press into a key code.
#pragma once

#include "keys/key_codes.h"

namespace reihen {

// Where the bytes of a key press come from.
class ByteSource {
public:
    static constexpr int kFailed = -1;    // reading is not possible
    static constexpr int kTimedOut = -3;  // no byte came within the short wait

    virtual ~ByteSource() = default;
    // The next byte (0 to 255). With `short_wait` the source gives up after
    // about 50 ms, the time within which a key's further bytes arrive.
    virtual int next_byte(bool short_wait) = 0;
};

// Reads one key press and returns its code, consuming all of its bytes:
// - a character gives its code; UTF-8 is decoded, U+0001 to U+00FF give their
//   code point and any other character gives 63 ('?'); a byte that does not
//   start valid UTF-8 gives its own value; Esc alone gives 27;
// - F1 to F10 and Alt with a character give 0; F11, F12, the cursor and
//   editing keys and any other escape sequence give 224;
// - focus and mouse reports and bracketed-paste markers are skipped.
// Returns kNoKey when the source fails.
int read_key_code(ByteSource& source);

}  // namespace reihen
