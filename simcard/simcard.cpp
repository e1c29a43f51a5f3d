// The simulated card: 128 output lines wired back to the inputs, so that what
// is written can be read again, with the wiring's faults ADCARD_SIM_FAULTS
// asks for. Its outputs are shared by every process of the user that loads it
// (card_memory.h). It stands in for the real driver library.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "simcard/card_memory.h"
#include "simcard/faults.h"
#include "simcard/unit.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using simcard::kGroups;
using simcard::kLines;

// The identification the card reports: family numbers 0 and 1, and its type.
constexpr std::uint8_t kFamilyHigh = 51;
constexpr std::uint8_t kFamilyLow = 8;
constexpr std::uint8_t kType = 1;

// Why the last call that failed failed, for AdcardLastError.
std::string lastError;

int16_t failed(const std::string& why) {
    lastError = "模拟板卡：" + why;
    return -1;
}

// The intermittent inputs' bits, from the faults' seed.
std::minstd_rand flickering;

// The faults ADCARD_SIM_FAULTS describes, read again whenever it changes; a
// malformed description is said once on the standard error, and the card runs
// without faults. Calls come from one thread, as with the real driver.
const simcard::Faults& currentFaults() {
    static std::string described = "\n"; // no description looks so: read at the first call
    static simcard::Faults faults;
    const std::string now = simcard::environmentValue("ADCARD_SIM_FAULTS");
    if (now != described) {
        described = now;
        std::string error;
        const auto parsed = simcard::parseFaults(now, error);
        if (!parsed)
            std::fprintf(stderr, "模拟板卡：ADCARD_SIM_FAULTS 中 %s；板卡不带故障运行。\n",
                         error.c_str());
        faults = parsed.value_or(simcard::Faults());
        flickering.seed(faults.seed);
    }
    return faults;
}

// The unit ADCARD_SIM_UNIT describes, read again whenever it changes; a
// malformed description is said once on the standard error, and the card
// answers with its loopback alone.
const simcard::Unit& currentUnit() {
    static std::string described = "\n";
    static simcard::Unit unit;
    const std::string now = simcard::environmentValue("ADCARD_SIM_UNIT");
    if (now != described) {
        described = now;
        std::string error;
        const auto parsed = simcard::parseUnit(now, error);
        if (!parsed)
            std::fprintf(stderr, "模拟板卡：ADCARD_SIM_UNIT 中 %s；板卡不带被测单元运行。\n",
                         error.c_str());
        unit = parsed.value_or(simcard::Unit());
    }
    return unit;
}

// Marks the lines of `group` whose bits differ between `before` and `after`
// as changed now.
void changedLines(simcard::CardMemory& memory, int group, int before, int after) {
    const std::uint32_t now = simcard::nowMs();
    for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
        if ((before ^ after) >> bit & 1)
            memory.changed[group * card::kLinesPerGroup + bit].store(now,
                                                                     std::memory_order_relaxed);
}

// Whether a call fails as the card's silence asks: any call (line -1: one that
// reaches no line in particular), or a write reaching any of lines
// [first, first + count).
bool silenced(int first = -1, int count = 1) {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    const simcard::Faults& faults = currentFaults();
    if (!faults.silentAfter || Clock::now() - start < *faults.silentAfter)
        return false;
    bool silent = !faults.silentLines;
    for (int line = first; first >= 0 && line < first + count; ++line)
        silent = silent || faults.silent[line];
    if (silent)
        failed("按 ADCARD_SIM_FAULTS 的 silent-after 不再应答");
    return silent;
}

// The card, opened at the first use and kept while the library is loaded; or
// null where its shared memory cannot be had (said once on the standard
// error): then every call fails, as a card that is not there does, rather
// than keep what is written in a card of this process alone, lost when it ends.
simcard::CardMemory* cardMemory() {
    static std::string why;
    static simcard::CardMemory* const shared = [] {
        simcard::CardMemory* memory = simcard::openSharedMemory(why);
        if (!memory)
            std::fprintf(stderr, "模拟板卡：共享内存不可用（%s），各调用均返回失败。\n",
                         why.c_str());
        return memory;
    }();
    if (!shared)
        failed("共享内存不可用（" + why + "）");
    return shared;
}

} // namespace

extern "C" {

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t /*request_code*/, uint8_t* request,
                                     int32_t /*reply_code*/, uint8_t* reply) {
    if (!request || !reply)
        return -1;
    if (request[0] != ADCARD_BOARD_INFO_REQUEST_0 || request[1] != ADCARD_BOARD_INFO_REQUEST_1 ||
        request[2] != ADCARD_BOARD_INFO_REQUEST_2 || silenced())
        return -1;
    reply[ADCARD_REPLY_FAMILY_0] = kFamilyHigh;
    reply[ADCARD_REPLY_FAMILY_1] = kFamilyLow;
    reply[ADCARD_REPLY_TYPE] = kType;
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    if (!words || count <= 0)
        return 0;
    simcard::CardMemory* memory = cardMemory();
    if (!memory || silenced())
        return -1;
    std::array<bool, kLines> outputs;
    for (int group = 0; group < kGroups; ++group) {
        const int byte = memory->group[group].load(std::memory_order_relaxed);
        for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
            outputs[group * card::kLinesPerGroup + bit] = (byte >> bit & 1) != 0;
    }
    std::array<bool, kLines> inputs = simcard::inputsFor(outputs, currentFaults(), flickering);
    const std::uint32_t now = simcard::nowMs();
    const simcard::Unit& unit = currentUnit();
    static bool odd = false; // a chattering input's reading, every other one flipped
    odd = !odd;
    for (int line = 0; line < kLines; ++line) {
        const simcard::Unit::Answer& answer = unit.inputs[line];
        if (answer.output >= 0)
            inputs[line] = simcard::unitAnswer(
                answer, outputs[answer.output],
                now - memory->changed[answer.output].load(std::memory_order_relaxed), odd);
    }
    const int n = count < kGroups ? count : kGroups;
    for (int group = 0; group < n; ++group) {
        int word = 0;
        for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
            word |= inputs[group * card::kLinesPerGroup + bit] ? 1 << bit : 0;
        words[group] = static_cast<int16_t>(word);
    }
    return static_cast<int16_t>(n);
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    simcard::CardMemory* memory = cardMemory();
    if (bit_index < 0 || bit_index >= kLines)
        return failed("位号 " + std::to_string(bit_index) + " 超出 0 到 127");
    if (!memory || silenced(bit_index))
        return -1;
    const auto mask = static_cast<std::uint8_t>(1 << card::bitOf(bit_index + 1));
    const int group = card::groupOf(bit_index + 1);
    auto& byte = memory->group[group];
    const int before = bit_value != 0 ? byte.fetch_or(mask, std::memory_order_relaxed)
                                      : byte.fetch_and(static_cast<std::uint8_t>(~mask),
                                                       std::memory_order_relaxed);
    changedLines(*memory, group, before, bit_value != 0 ? before | mask : before & ~mask);
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    simcard::CardMemory* memory = cardMemory();
    if (group < 0 || group >= kGroups)
        return failed("通道组 " + std::to_string(group) + " 超出 0 到 15");
    if (!memory || silenced(group * card::kLinesPerGroup, card::kLinesPerGroup))
        return -1;
    const auto after = static_cast<std::uint8_t>(byte_value);
    changedLines(*memory, group, memory->group[group].exchange(after, std::memory_order_relaxed),
                 after);
    return 0;
}

ADCARD_API int32_t ADCARD_CALL AdcardInputWords(void) {
    return kGroups;
}

ADCARD_API const char* ADCARD_CALL AdcardLastError(void) {
    return lastError.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardCardId(void) {
    // The card is its shared memory, which its name picks: the user's own
    // (its name has the user's id; on Windows, the session's).
    static const std::string id =
        "sim:" + simcard::sharedMemoryName(simcard::environmentValue("ADCARD_SIM_NAME"));
    return id.c_str();
}

// The simulated card names no device of the system.
ADCARD_API const char* ADCARD_CALL AdcardDescription(void) {
    return "";
}

} // extern "C"
