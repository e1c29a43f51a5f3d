// What the fake driver records and answers, shared by the library and the
// tests that steer it: plain data, for the two may use different C++ runtimes.
#pragma once

#include <cstdint>

struct FakeState {
    std::uint8_t reply[8] = {};  // IOCtl copies these into the reply buffer
    std::int16_t words[40] = {}; // Zan_DI copies wordCount of these
    int wordCount = 0;
    std::int32_t ioctlResult = 0;
    const void* lastBuffer = nullptr; // the buffer of the last IOCtl or Zan_DI
    char log[16384] = {};             // a line per call
    int logLength = 0;
};
