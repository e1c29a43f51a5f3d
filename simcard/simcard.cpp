// The simulated card: 128 output lines wired back to the inputs, so that what
// is written can be read again, with the wiring's faults ADCARD_SIM_FAULTS
// asks for. Its outputs are shared by every process of the user that loads it
// (card_memory.h). It stands in for the real driver library.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "simcard/card_memory.h"
#include "simcard/faults.h"

#include <cstdio>

namespace {

using simcard::kLines;
constexpr int kGroups = kLines / 8;

// The identification the card reports: family numbers 0 and 1, and its type.
constexpr std::uint8_t kFamilyHigh = 51;
constexpr std::uint8_t kFamilyLow = 8;
constexpr std::uint8_t kType = 1;

// The faults ADCARD_SIM_FAULTS describes, read again whenever it changes; a
// malformed description is said once on the standard error, and the card runs
// without faults. Calls come from one thread, as with the real driver.
const simcard::Faults& currentFaults() {
    static std::string described;
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
    }
    return faults;
}

// The card, opened at the first use and kept while the library is loaded.
// Where shared memory cannot be had, a card of this process alone, said so on
// the standard error.
simcard::CardMemory& cardMemory() {
    static simcard::CardMemory* const shared = [] {
        std::string why;
        simcard::CardMemory* memory = simcard::openSharedMemory(why);
        if (!memory) {
            std::fprintf(stderr, "模拟板卡：共享内存不可用（%s），本进程单用一块板卡。\n",
                         why.c_str());
            static simcard::CardMemory own{};
            memory = &own;
        }
        return memory;
    }();
    return *shared;
}

void drive(int line, bool value) {
    cardMemory().line[line].store(value ? 1 : 0, std::memory_order_relaxed);
}

} // namespace

extern "C" {

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t /*request_code*/, uint8_t* request,
                                     int32_t /*reply_code*/, uint8_t* reply) {
    if (!request || !reply)
        return -1;
    if (request[0] != ADCARD_BOARD_INFO_REQUEST_0 || request[1] != ADCARD_BOARD_INFO_REQUEST_1 ||
        request[2] != ADCARD_BOARD_INFO_REQUEST_2)
        return -1;
    reply[0] = kFamilyHigh;
    reply[1] = kFamilyLow;
    reply[4] = kType;
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    if (!words || count <= 0)
        return 0;
    std::array<bool, kLines> outputs;
    for (int line = 0; line < kLines; ++line)
        outputs[line] = cardMemory().line[line].load(std::memory_order_relaxed) != 0;
    const std::array<bool, kLines> inputs = simcard::inputsFor(outputs, currentFaults());
    const int n = count < kGroups ? count : kGroups;
    for (int group = 0; group < n; ++group) {
        int word = 0;
        for (int bit = 0; bit < 8; ++bit)
            word |= inputs[group * 8 + bit] ? 1 << bit : 0;
        words[group] = static_cast<int16_t>(word);
    }
    return static_cast<int16_t>(n);
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    if (bit_index < 0 || bit_index >= kLines)
        return -1;
    drive(bit_index, bit_value != 0);
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    if (group < 0 || group >= kGroups)
        return -1;
    for (int bit = 0; bit < 8; ++bit)
        drive(group * 8 + bit, (byte_value >> bit) & 1);
    return 0;
}

} // extern "C"
