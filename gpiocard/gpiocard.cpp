// A driver library with the card driver's entry points on GPIO lines
// (Linux's GPIO character device, through libgpiod): the lines a test jig's
// board has become the card's, for the panel and dio-cli unchanged. The lines
// are requested at the first call under the consumer name "dio-panel", and
// the outputs set to 0 and released when the program ends as it can catch.
// Calls come from one thread, as with the real driver.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "driver/card_shape.h"
#include "driver/driver_settings.h"
#include "gpiocard/gpio_lines.h"
#include "gpiocard/settings.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string lastError; // the reason of the last failed call, for AdcardLastError

const std::optional<gpiocard::Settings>& settings() {
    static const std::optional<gpiocard::Settings> read = driver::readSettings<gpiocard::Settings>(
        "ADCARD_GPIO", "adcard-gpio.conf", "GPIO", gpiocard::parseSettings, lastError);
    return read;
}

// The lines with what the outputs were last set to and when.
struct Held {
    explicit Held(const gpiocard::Settings& settings)
        : lines(settings, "dio-panel"), outputs(settings.outputs.size(), false),
          settling(settings.settlingMs) {}
    gpiocard::GpioLines lines;
    std::vector<bool> outputs;
    std::chrono::milliseconds settling;
    Clock::time_point lastWrite;
};

// Requested at the first call and again at the next call after the chip went
// away; freed, the outputs at 0, when the program ends.
std::unique_ptr<Held>& held() {
    static std::unique_ptr<Held> lines;
    return lines;
}

Held* lines() {
    if (!held() && settings()) {
        try {
            held() = std::make_unique<Held>(*settings());
        } catch (const gpiocard::GpioError& error) {
            lastError = std::string("GPIO 驱动程序：") + error.what();
        }
    }
    return held().get();
}

template <typename Call> int16_t attempt(Call call) {
    Held* open = lines();
    if (!open)
        return -1;
    try {
        call(*open);
        return 0;
    } catch (const gpiocard::GpioError& error) {
        lastError = std::string("GPIO 驱动程序：") + error.what();
        if (error.gone)
            held().reset();
        return -1;
    }
}

int lineCount() {
    return static_cast<int>(settings()->outputs.size());
}

bool outside(int last, const char* what) {
    if (last < lineCount())
        return false;
    lastError = std::string(what) + "超出配置的 " + std::to_string(lineCount()) + " 条线";
    return true;
}

// Outputs changed as `change` says, all at once; kept as they were where that fails.
template <typename Change> int16_t writeOutputs(Change change) {
    return attempt([&](Held& open) {
        std::vector<bool> wanted = open.outputs;
        change(wanted);
        open.lines.setOutputs(wanted);
        open.outputs = wanted;
        open.lastWrite = Clock::now();
    });
}

} // namespace

extern "C" {

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t /*request_code*/, uint8_t* request,
                                     int32_t /*reply_code*/, uint8_t* reply) {
    if (!request || !reply || request[0] != ADCARD_BOARD_INFO_REQUEST_0 ||
        request[1] != ADCARD_BOARD_INFO_REQUEST_1 || request[2] != ADCARD_BOARD_INFO_REQUEST_2 ||
        !lines())
        return -1;
    reply[ADCARD_REPLY_FAMILY_0] = static_cast<uint8_t>(settings()->caption[0]);
    reply[ADCARD_REPLY_FAMILY_1] = static_cast<uint8_t>(settings()->caption[1]);
    reply[ADCARD_REPLY_TYPE] = static_cast<uint8_t>(settings()->caption[2]);
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    if (!words || count <= 0)
        return 0;
    if (!lines() || outside(count * card::kLinesPerGroup - 1, "要读的输入"))
        return -1;
    return attempt([&](Held& open) {
               std::this_thread::sleep_until(open.lastWrite + open.settling);
               const std::vector<bool> read = open.lines.readInputs();
               for (int word = 0; word < count; ++word) {
                   int value = 0;
                   for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
                       value |= read[static_cast<std::size_t>(word) * card::kLinesPerGroup +
                                     static_cast<std::size_t>(bit)]
                                << bit;
                   words[word] = static_cast<int16_t>(value);
               }
           }) == 0
               ? count
               : -1;
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    if (!lines() || bit_index < 0 || outside(bit_index, "输出通道"))
        return -1;
    return writeOutputs([&](std::vector<bool>& wanted) {
        wanted[static_cast<std::size_t>(bit_index)] = bit_value != 0;
    });
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    if (!lines() || group < 0 || outside((group + 1) * card::kLinesPerGroup - 1, "输出通道组"))
        return -1;
    return writeOutputs([&](std::vector<bool>& wanted) {
        for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
            wanted[static_cast<std::size_t>(group) * card::kLinesPerGroup +
                   static_cast<std::size_t>(bit)] = (byte_value >> bit & 1) != 0;
    });
}

ADCARD_API int32_t ADCARD_CALL AdcardInputWords(void) {
    return lines() ? lineCount() / card::kLinesPerGroup : 0;
}

ADCARD_API const char* ADCARD_CALL AdcardLastError(void) {
    return lastError.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardCardId(void) {
    static std::string id;
    // A chip that will not open is still its node (or label): tests of it exclude each other.
    const std::string& chip = settings() ? settings()->chip : "";
    id = lines()      ? held()->lines.id()
         : settings() ? driver::nodeId("gpio", chip[0] == '/' ? chip : "/dev/" + chip)
                      : "";
    return id.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardDescription(void) {
    static std::string text;
    text = lines() ? "GPIO 芯片 " + held()->lines.label() + "，" + held()->lines.path() : "";
    return text.c_str();
}

} // extern "C"
