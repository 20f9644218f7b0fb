// Waiting on a condition in tests, never on the wall clock: the condition is polled until
// it holds; a generous safety limit only fails the test, it never decides its outcome.
#ifndef QK_TESTS_WAITING_H
#define QK_TESTS_WAITING_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdint.h>

#include "platform/winmm/engine.h"

// Polls `holds` every millisecond; true once it holds, false (after a failure) when it
// has not held after a minute, which no loaded machine needs.
template <class Condition>
bool WaitUntil(Condition holds, const char *what) {
    for (int i = 0; i < 60000; i++) {
        if (holds()) return true;
        usleep(1000);
    }
    ADD_FAILURE() << "still waiting for " << what;
    return false;
}

// Waits until the output (device or silent clock) has rendered `frames` more frames.
inline bool WaitForFrames(uint64_t frames) {
    uint64_t until = qk::sound::RenderedFrames() + frames;
    return WaitUntil([&] { return qk::sound::RenderedFrames() >= until; }, "the output to render");
}

#endif
