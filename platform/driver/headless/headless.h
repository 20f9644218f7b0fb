// The headless driver: no display and no sound device. Tests script its answers and
// read what the program showed.
#ifndef QK_PLATFORM_HEADLESS_H
#define QK_PLATFORM_HEADLESS_H

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace qk {
namespace headless {

struct BoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    int answer;
};

// Message boxes shown so far, oldest first.
const std::vector<BoxRecord> &Boxes();
// Answers for the next message boxes, in order. When none is queued a box is answered
// with its first button (OK, Yes, Abort, Retry).
void QueueAnswer(int answer);
// Every cursor the program set, in order.
const std::vector<HCURSOR> &CursorLog();

// Puts the whole stand-in back to its state at process start (drive table and current
// directory re-read from the environment, allocation faults off, logs empty, fonts from
// the usual places, no device context taken).
void Reset();

}  // namespace headless
}  // namespace qk

#endif
