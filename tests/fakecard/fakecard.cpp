// A driver library for the tests: it records every call in order and answers
// what the test put in its state. Variants: without one entry point
// (FAKE_WITHOUT_<name>), needing a library that is not there (FAKE_NEEDS_GONE),
// and a planted one that leaves a mark in the current folder as it loads
// (FAKE_PLANTED), which no program of this project may ever load.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "fake_state.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#define FAKE_EXPORT __declspec(dllexport)
#else
#define FAKE_EXPORT __attribute__((visibility("default")))
#endif

#if defined(FAKE_NEEDS_GONE)
extern "C" int dio_gone();
#endif

namespace {

FakeState state;

template <typename... Args> void record(const char* format, Args... args) {
    const int room = static_cast<int>(sizeof state.log) - state.logLength;
    state.logLength +=
        std::min(std::snprintf(state.log + state.logLength, room, format, args...), room - 1);
}

#if defined(FAKE_PLANTED)
const bool planted = [] {
    if (std::FILE* mark = std::fopen("planted-library-loaded", "w"))
        std::fclose(mark);
    return true;
}();
#endif

} // namespace

extern "C" {

FAKE_EXPORT FakeState* Fake_State() {
#if defined(FAKE_NEEDS_GONE)
    dio_gone();
#endif
    return &state;
}

#ifndef FAKE_WITHOUT_IOCtl
ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t request_code, uint8_t* request, int32_t reply_code,
                                     uint8_t* reply) {
    record("IOCtl(%d,%d,%d,%d,%d)\n", request_code, request[0], request[1], request[2], reply_code);
    state.lastBuffer = reply;
    std::copy(state.reply, state.reply + sizeof state.reply, reply);
    return state.ioctlResult;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DI
ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    record("Zan_DI(%d)\n", count);
    state.lastBuffer = words;
    std::copy(state.words, state.words + state.wordCount, words);
    return INT16_MIN;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DOBit
ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    record("Zan_DOBit(%d,%d)\n", bit_index, bit_value);
    return INT16_MIN;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DO
ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    record("Zan_DO(%d,%d)\n", group, byte_value);
    return INT16_MIN;
}
#endif

} // extern "C"
