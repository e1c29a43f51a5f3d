// A driver library with the card driver's entry points on a comedi board
// (Linux's interface to data-acquisition cards, through libcomedi): its
// digital lines become the card's, for the panel and dio-cli unchanged.
// Calls come from one thread, as with the real driver.
#define ADCARD_BUILDING_DRIVER
#include "comedicard/board.h"
#include "comedicard/settings.h"
#include "driver/adcard_abi.h"
#include "driver/card_shape.h"
#include "driver/driver_settings.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

std::string lastError; // the reason of the last failed call, for AdcardLastError

// The settings from ADCARD_COMEDI or adcard-comedi.conf beside the library;
// none, and why, where they are missing or wrong. Read at the first call;
// said once on the standard error.
const std::optional<comedicard::Settings>& settings() {
    static const std::optional<comedicard::Settings> read =
        driver::readSettings<comedicard::Settings>("ADCARD_COMEDI", "adcard-comedi.conf", "comedi",
                                                   comedicard::parseSettings, lastError, true);
    return read;
}

// The board, opened at the first call and again at the next call after it
// went away; put back as it was when the program ends.
std::unique_ptr<comedicard::Board>& held() {
    static std::unique_ptr<comedicard::Board> board;
    return board;
}

comedicard::Board* board() {
    if (!held() && settings()) {
        try {
            held() = std::make_unique<comedicard::Board>(*settings());
        } catch (const comedicard::BoardError& error) {
            lastError = std::string("comedi 驱动程序：") + error.what();
        }
    }
    return held().get();
}

// A call on the board: 0, or -1 with the reason kept.
template <typename Call> int16_t attempt(Call call) {
    comedicard::Board* open = board();
    if (!open)
        return -1;
    try {
        call(*open);
        return 0;
    } catch (const comedicard::BoardError& error) {
        lastError = std::string("comedi 驱动程序：") + error.what();
        if (error.gone)
            held().reset();
        return -1;
    }
}

bool outside(int last, const char* what) {
    if (last < board()->lines())
        return false;
    lastError = std::string(what) + "超出板卡配置的 " + std::to_string(board()->lines()) + " 条线";
    return true;
}

} // namespace

extern "C" {

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t /*request_code*/, uint8_t* request,
                                     int32_t /*reply_code*/, uint8_t* reply) {
    if (!request || !reply || request[0] != ADCARD_BOARD_INFO_REQUEST_0 ||
        request[1] != ADCARD_BOARD_INFO_REQUEST_1 || request[2] != ADCARD_BOARD_INFO_REQUEST_2 ||
        !board())
        return -1;
    reply[ADCARD_REPLY_FAMILY_0] = static_cast<uint8_t>(settings()->caption[0]);
    reply[ADCARD_REPLY_FAMILY_1] = static_cast<uint8_t>(settings()->caption[1]);
    reply[ADCARD_REPLY_TYPE] = static_cast<uint8_t>(settings()->caption[2]);
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    if (!words || count <= 0)
        return 0;
    if (!board() || outside(count * card::kLinesPerGroup - 1, "要读的输入"))
        return -1;
    return attempt([&](comedicard::Board& open) {
               const std::vector<std::uint8_t> bytes = open.read();
               for (int word = 0; word < count; ++word)
                   words[word] = bytes[static_cast<std::size_t>(word)];
           }) == 0
               ? count
               : -1;
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    if (!board() || bit_index < 0 || outside(bit_index, "输出通道"))
        return -1;
    return attempt([&](comedicard::Board& open) { open.write(bit_index, bit_value != 0); });
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    if (!board() || group < 0 || outside((group + 1) * card::kLinesPerGroup - 1, "输出通道组"))
        return -1;
    return attempt([&](comedicard::Board& open) {
        open.writeGroup(group, static_cast<std::uint8_t>(byte_value & 255));
    });
}

ADCARD_API int32_t ADCARD_CALL AdcardInputWords(void) {
    return board() ? board()->lines() / card::kLinesPerGroup : 0;
}

ADCARD_API const char* ADCARD_CALL AdcardLastError(void) {
    return lastError.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardCardId(void) {
    static std::string id;
    // A board that will not open is still its node: tests of it exclude each other.
    id = board() ? board()->id() : settings() ? driver::nodeId("comedi", settings()->device) : "";
    return id.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardDescription(void) {
    static std::string text;
    text = board() ? board()->description() : "";
    return text.c_str();
}

} // extern "C"
