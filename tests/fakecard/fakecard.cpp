// A driver library for the tests: it records every call in order, serves the
// replies a test chose, and can be built without any one entry point.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#define FAKE_API extern "C" __declspec(dllexport)
#else
#define FAKE_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

// The fault drivers are this fake with other defaults: a slow one, whose input
// read blocks, and one whose replies, results and words are all garbage.
#if defined(FAKE_SLOW)
constexpr int kDefaultDelayMs = 700;
#else
constexpr int kDefaultDelayMs = 0;
#endif

#if defined(FAKE_GARBAGE)
const std::vector<uint8_t> kDefaultReply(32001, 0xFF);
const std::vector<int16_t> kDefaultWords = {
    -32768, 0x7FFF, -1,     0x0F0F, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A,
    0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A,
    0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
constexpr int32_t kDefaultIOCtlResult = INT32_MIN;
constexpr int16_t kDefaultResult = INT16_MIN;
#else
const std::vector<uint8_t> kDefaultReply;
const std::vector<int16_t> kDefaultWords;
constexpr int32_t kDefaultIOCtlResult = 0;
constexpr int16_t kDefaultResult = 0;
#endif

struct State {
    std::string log;
    std::vector<uint8_t> reply = kDefaultReply;
    std::vector<int16_t> words = kDefaultWords;
    int32_t ioctlResult = kDefaultIOCtlResult;
    int inputDelayMs = kDefaultDelayMs;
    const void* lastBuffer = nullptr;
};

State& state() {
    static State s;
    return s;
}

void record(const std::string& call) {
    state().log += call;
    state().log += '\n';
}

} // namespace

FAKE_API void Fake_Reset() {
    state() = State{};
}

FAKE_API void Fake_SetReply(const uint8_t* bytes, int count) {
    state().reply.assign(bytes, bytes + count);
}

FAKE_API void Fake_SetIOCtlResult(int32_t result) {
    state().ioctlResult = result;
}

FAKE_API void Fake_SetInputWords(const int16_t* words, int count) {
    state().words.assign(words, words + count);
}

FAKE_API void Fake_SetInputDelayMs(int ms) {
    state().inputDelayMs = ms;
}

FAKE_API const char* Fake_Log() {
    return state().log.c_str();
}

FAKE_API const void* Fake_LastBuffer() {
    return state().lastBuffer;
}

extern "C" {

#ifndef FAKE_WITHOUT_IOCtl
ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t request_code, uint8_t* request, int32_t reply_code,
                                     uint8_t* reply) {
    record("IOCtl(" + std::to_string(request_code) + "," + std::to_string(request[0]) + "," +
           std::to_string(request[1]) + "," + std::to_string(request[2]) + "," +
           std::to_string(reply_code) + ")");
    state().lastBuffer = reply;
    std::copy(state().reply.begin(), state().reply.end(), reply);
    return state().ioctlResult;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DI
ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    record("Zan_DI(" + std::to_string(count) + ")");
    state().lastBuffer = words;
    if (state().inputDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(state().inputDelayMs));
    std::copy(state().words.begin(), state().words.end(), words);
    return kDefaultResult;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DOBit
ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    record("Zan_DOBit(" + std::to_string(bit_index) + "," + std::to_string(bit_value) + ")");
    return kDefaultResult;
}
#endif

#ifndef FAKE_WITHOUT_Zan_DO
ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    record("Zan_DO(" + std::to_string(group) + "," + std::to_string(byte_value) + ")");
    return kDefaultResult;
}
#endif

} // extern "C"
