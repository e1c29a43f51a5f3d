// The simulated card: 128 output lines wired back to the inputs, so that what
// the panel writes can be read again. It stands in for the real driver library.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"

#include <array>
#include <cstdint>

namespace {

constexpr int kLines = 128;
constexpr int kGroups = kLines / 8;

// The card's state lives as long as the library is loaded; all lines start at 0.
std::array<bool, kLines> lines{};

// The identification the card reports: family numbers 0 and 1, and its type.
constexpr std::uint8_t kFamilyHigh = 51;
constexpr std::uint8_t kFamilyLow = 8;
constexpr std::uint8_t kType = 1;

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
    const int n = count < kGroups ? count : kGroups;
    for (int group = 0; group < n; ++group) {
        int word = 0;
        for (int bit = 0; bit < 8; ++bit)
            word |= lines[static_cast<std::size_t>(group * 8 + bit)] ? 1 << bit : 0;
        words[group] = static_cast<int16_t>(word);
    }
    return static_cast<int16_t>(n);
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    if (bit_index < 0 || bit_index >= kLines)
        return -1;
    lines[static_cast<std::size_t>(bit_index)] = bit_value != 0;
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    if (group < 0 || group >= kGroups)
        return -1;
    for (int bit = 0; bit < 8; ++bit)
        lines[static_cast<std::size_t>(group * 8 + bit)] = (byte_value >> bit) & 1;
    return 0;
}

} // extern "C"
