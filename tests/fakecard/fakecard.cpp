// A driver library for the tests: it records every call in order and answers
// what the test put in its state; built once without each entry point.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "fake_state.h"

#include <algorithm>
#include <cstdio>

namespace {

FakeState state;

template <typename... Args> void record(const char* format, Args... args) {
    const int room = static_cast<int>(sizeof state.log) - state.logLength;
    state.logLength +=
        std::min(std::snprintf(state.log + state.logLength, room, format, args...), room - 1);
}

} // namespace

extern "C" {

#if defined(_WIN32)
__declspec(dllexport) FakeState* Fake_State() {
#else
__attribute__((visibility("default"))) FakeState* Fake_State() {
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
