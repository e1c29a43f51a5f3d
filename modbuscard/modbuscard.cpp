// A driver library with the card driver's entry points that speaks Modbus TCP:
// any networked DIO module, or a card served by `dio-cli serve` on another PC,
// becomes the card for the panel and dio-cli. Calls come from one thread, as
// with the real driver.
#define ADCARD_BUILDING_DRIVER
#include "driver/adcard_abi.h"
#include "driver/card_shape.h"
#include "driver/driver_settings.h"
#include "modbuscard/settings.h"
#include "modbuscard/socket_io.h"
#include "modbuscard/transaction.h"
#include "rules/board_info.h"

#include <modbus/modbus.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string lastError; // the reason of the last failed call, for AdcardLastError

// The settings from ADCARD_MODBUS (inline, or a file it names by its absolute
// path), else from adcard-modbus.conf beside the library; none, and why,
// where they are missing or wrong. Read at the first call; said once on the
// standard error.
const std::optional<modbuscard::Settings>& settings() {
    static const std::optional<modbuscard::Settings> read =
        driver::readSettings<modbuscard::Settings>("ADCARD_MODBUS", "adcard-modbus.conf", "Modbus",
                                                   modbuscard::parseSettings, lastError);
    return read;
}

// The link to the module: connected at the first call, and again at the next
// call after a failure: at once where the link had answered (it lost one
// answer), else at most once a second after the last try (no connection, or
// one the module takes and never answers on), so that a dead module costs a
// tick one timeout at most and is not sent a connection a call.
class Link {
public:
    ~Link() { close(); }

    // The connection, made where there is none, or null (lastError says why).
    modbus_t* connection() {
        const auto& wanted = settings();
        if (!wanted)
            return nullptr;
        if (context_)
            return context_;
        if (!answered_ && Clock::now() - lastConnect_ < std::chrono::seconds(1))
            return nullptr; // lastError still says why the last try failed
        lastConnect_ = Clock::now();
        answered_ = false;
        context_ = modbus_new_tcp(wanted->host.c_str(), wanted->port);
        const auto ms = static_cast<std::uint32_t>(wanted->timeoutMs);
        // The library connects, within the timeout; each request is ours.
        if (!context_ || modbus_set_response_timeout(context_, ms / 1000, ms % 1000 * 1000) != 0 ||
            modbus_connect(context_) != 0) {
            // A connection not made within the timeout: on Windows the library
            // leaves errno as it was, elsewhere "in progress".
            if (Clock::now() - lastConnect_ >= std::chrono::milliseconds(ms))
                errno = EINPROGRESS;
            fail("连接不上");
            return nullptr;
        }
        return context_;
    }

    // One request and its answer, all within the timeout: the answer's PDU,
    // checked as this request's own; none where it failed (lastError says
    // why, and the link is dropped but for an exception answer).
    std::optional<std::vector<std::uint8_t>>
    exchange(modbus_t* module, std::vector<std::uint8_t> pdu, const char* what) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings()->timeoutMs);
        const modbuscard::Request request{
            ++transaction_, static_cast<std::uint8_t>(settings()->unit), std::move(pdu)};
        const int socket = modbus_get_socket(module);
        std::vector<std::uint8_t> received;
        modbuscard::Io io = modbuscard::sendAll(socket, modbuscard::frame(request), deadline);
        for (long more = modbuscard::missing(received); io == modbuscard::Io::Done && more > 0;
             more = modbuscard::missing(received))
            io = modbuscard::receive(socket, static_cast<std::size_t>(more), received, deadline);
        if (io != modbuscard::Io::Done || modbuscard::missing(received) != 0) {
            errno = io == modbuscard::Io::TimedOut ? ETIMEDOUT : ECONNRESET;
            if (io == modbuscard::Io::Done) // a header no Modbus TCP module sends
                return broken(std::string(what) + "：回答不是 Modbus TCP");
            fail(what);
            return std::nullopt;
        }
        const modbuscard::Answer answer = modbuscard::check(request, received);
        if (!answer.problem.empty())
            return broken(std::string(what) + "：" + answer.problem);
        answered_ = true; // an exception answer is an answer too
        if (answer.exception != 0) {
            errno = MODBUS_ENOBASE + answer.exception;
            fail(what);
            return std::nullopt;
        }
        return answer.pdu;
    }

    // An answer that is not the request's: said, and the link dropped, as it
    // is out of step with the module.
    std::nullopt_t broken(const std::string& why) {
        const auto& wanted = settings();
        lastError =
            "模块的" + why + "（" + wanted->host + ":" + std::to_string(wanted->port) + "）";
        close();
        return std::nullopt;
    }

    // A call that failed: the reason kept, the connection dropped unless the
    // module answered with an exception (it is there, and still connected).
    void fail(const char* what) {
        const int error = errno;
        const auto& wanted = settings();
        const std::string where = wanted ? wanted->host + ":" + std::to_string(wanted->port) : "";
        const bool exception = error > MODBUS_ENOBASE && error <= MODBUS_ENOBASE + 11;
        // A connection not made within the timeout is left "in progress".
        lastError = error == ETIMEDOUT     ? "板卡无应答：" + where + " 超时"
                    : error == EINPROGRESS ? std::string(what) + " " + where + "：超时"
                    : exception ? std::string("模块答以异常：") + modbus_strerror(error) + "（" +
                                      where + "）"
                                : std::string(what) + " " + where + "：" + modbus_strerror(error);
        if (!exception)
            close();
    }

private:
    void close() {
        if (context_) {
            modbus_close(context_);
            modbus_free(context_);
        }
        context_ = nullptr;
    }

    modbus_t* context_ = nullptr;
    std::uint16_t transaction_ = 0;
    bool answered_ = false; // the last connection made has had an answer
    Clock::time_point lastConnect_;
};

Link& link() {
    static Link one;
    return one;
}

// A request's PDU: the function, then two 16-bit numbers (an address and a
// count or a value).
std::vector<std::uint8_t> request(int function, int address, int number) {
    return {static_cast<std::uint8_t>(function), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number)};
}

// A request beyond the module's lines: nothing is sent.
bool outside(int last, const char* what) {
    if (last < settings()->lines)
        return false;
    lastError = std::string(what) + "超出模块的 " + std::to_string(settings()->lines) + " 条线";
    return true;
}

} // namespace

extern "C" {

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t /*request_code*/, uint8_t* request,
                                     int32_t /*reply_code*/, uint8_t* reply) {
    if (!request || !reply || request[0] != ADCARD_BOARD_INFO_REQUEST_0 ||
        request[1] != ADCARD_BOARD_INFO_REQUEST_1 || request[2] != ADCARD_BOARD_INFO_REQUEST_2)
        return -1;
    modbus_t* module = link().connection();
    if (!module)
        return -1;
    std::optional<std::array<int, 3>> numbers = settings()->caption;
    if (!numbers) {
        const auto answer = link().exchange(module, {MODBUS_FC_REPORT_SLAVE_ID}, "读不到板卡信息");
        if (!answer)
            return -1;
        // dio-cli serve answers its unit, a run indicator, then the caption.
        numbers = rules::boardNumbers(std::string(answer->begin() + 2, answer->end()));
        if (!numbers) {
            lastError = "模块对功能 17 的回答里没有板卡信息：在配置里给出 caption";
            return -1;
        }
    }
    reply[ADCARD_REPLY_FAMILY_0] = static_cast<uint8_t>((*numbers)[0]);
    reply[ADCARD_REPLY_FAMILY_1] = static_cast<uint8_t>((*numbers)[1]);
    reply[ADCARD_REPLY_TYPE] = static_cast<uint8_t>((*numbers)[2]);
    return 0;
}

ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words) {
    if (!words || count <= 0)
        return 0;
    modbus_t* module = link().connection();
    if (!module || outside(count * card::kLinesPerGroup - 1, "要读的输入"))
        return -1;
    const auto answer = link().exchange(
        module,
        request(MODBUS_FC_READ_DISCRETE_INPUTS, settings()->inputs, count * card::kLinesPerGroup),
        "读不了输入");
    if (!answer)
        return -1;
    // The buffer only once all is read: eight inputs a byte, the first in bit 0.
    for (int word = 0; word < count; ++word)
        words[word] = static_cast<int16_t>((*answer)[2 + word]);
    return count;
}

ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value) {
    modbus_t* module = link().connection();
    if (!module || bit_index < 0 || outside(bit_index, "输出通道"))
        return -1;
    return link().exchange(module,
                           request(MODBUS_FC_WRITE_SINGLE_COIL, settings()->coils + bit_index,
                                   bit_value != 0 ? 0xFF00 : 0),
                           "写不了输出")
               ? 0
               : -1;
}

ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value) {
    modbus_t* module = link().connection();
    if (!module || group < 0 || outside((group + 1) * card::kLinesPerGroup - 1, "输出通道组"))
        return -1;
    // A group's byte to its register, else as eight coils (one byte, the first in bit 0).
    std::vector<std::uint8_t> pdu =
        settings()->registers
            ? request(MODBUS_FC_WRITE_SINGLE_REGISTER, *settings()->registers + group,
                      byte_value & 255)
            : request(MODBUS_FC_WRITE_MULTIPLE_COILS,
                      settings()->coils + group * card::kLinesPerGroup, card::kLinesPerGroup);
    if (!settings()->registers) {
        const std::uint8_t bytes[] = {1, static_cast<std::uint8_t>(byte_value & 255)};
        pdu.insert(pdu.end(), std::begin(bytes), std::end(bytes));
    }
    return link().exchange(module, std::move(pdu), "写不了输出") ? 0 : -1;
}

ADCARD_API int32_t ADCARD_CALL AdcardInputWords(void) {
    return settings() ? settings()->lines / card::kLinesPerGroup : 0;
}

ADCARD_API const char* ADCARD_CALL AdcardLastError(void) {
    return lastError.c_str();
}

ADCARD_API const char* ADCARD_CALL AdcardCardId(void) {
    // A module is its address and unit; "" where the settings are wrong.
    static const std::string id = settings() ? "modbus:" + settings()->host + ":" +
                                                   std::to_string(settings()->port) + "/" +
                                                   std::to_string(settings()->unit)
                                             : "";
    return id.c_str();
}

// A module is named by its settings, which dio-cli does not show.
ADCARD_API const char* ADCARD_CALL AdcardDescription(void) {
    return "";
}

} // extern "C"
