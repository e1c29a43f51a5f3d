#include "settings.h"

#include "convert/ipv4.h"
#include "driver/driver_settings.h"

namespace modbuscard {
namespace {

using driver::trimmed;

// Sets one key; returns why it is wrong, or "".
std::string set(Settings& settings, const std::string& key, const std::string& value) {
    auto into = [&](int& field, long low, long high) {
        const std::optional<int> read = driver::wholeNumber(value, low, high);
        if (!read)
            return "应为 " + std::to_string(low) + " 到 " + std::to_string(high) + " 的整数";
        field = *read;
        return std::string();
    };
    if (key == "host") {
        settings.host = value;
        return convert::ipv4Problem(value);
    }
    if (key == "port")
        return into(settings.port, 1, 65535);
    if (key == "unit") {
        // 248 to 254 are reserved: the Modbus library sends none of them over TCP.
        const bool read = into(settings.unit, 0, 255).empty();
        return read && (settings.unit < 248 || settings.unit == 255)
                   ? ""
                   : "应为 0 到 247 的整数，或 255";
    }
    if (key == "inputs")
        return into(settings.inputs, 0, 65535);
    if (key == "coils")
        return into(settings.coils, 0, 65535);
    if (key == "registers") {
        int at = 0;
        std::string why = into(at, 0, 65535);
        settings.registers = at;
        return why;
    }
    if (key == "lines") {
        const std::string why = into(settings.lines, 8, 128);
        return why.empty() && settings.lines % 8 != 0 ? "应为 8 的倍数" : why;
    }
    if (key == "timeout") {
        const std::optional<int> read = driver::milliseconds(value, 1, 60000);
        if (!read)
            return "应为 1 到 60000 毫秒，如 100ms";
        settings.timeoutMs = *read;
        return "";
    }
    if (key == "caption") {
        settings.caption = driver::captionNumbers(value);
        return settings.caption ? "" : "应为 0 到 255 的三个数，如 51 8 1";
    }
    return "不认识的设置（可用 "
           "host、port、unit、inputs、coils、registers、lines、timeout、caption）";
}

// Why the module's lines would run past the last Modbus address, or "": an
// address past 65535 would wrap to 0 and drive another line.
std::string beyondAddresses(const Settings& settings) {
    const struct {
        const char* key;
        std::optional<int> first;
        int count;
    } ranges[] = {{"inputs", settings.inputs, settings.lines},
                  {"coils", settings.coils, settings.lines},
                  {"registers", settings.registers, settings.lines / 8}};
    for (const auto& range : ranges)
        if (range.first && *range.first + range.count - 1 > 65535)
            return "“" + std::string(range.key) + "=" + std::to_string(*range.first) + "”：" +
                   std::to_string(settings.lines) + " 条线的地址超出 65535";
    return "";
}

} // namespace

std::optional<Settings> parseSettings(const std::string& text, std::string& error) {
    Settings settings;
    const std::string alone = trimmed(text);
    // "host:port" alone.
    if (alone.find_first_of("=;\n") == std::string::npos) {
        const auto colon = alone.rfind(':');
        const std::string why = colon == std::string::npos
                                    ? "应为“主机:端口”或“设置 = 值”"
                                    : set(settings, "port", alone.substr(colon + 1));
        settings.host = colon == std::string::npos ? "" : alone.substr(0, colon);
        const std::string hostWhy =
            why.empty() && !settings.host.empty() ? convert::ipv4Problem(settings.host) : "";
        if (!why.empty() || settings.host.empty() || !hostWhy.empty()) {
            error = "“" + alone + "”：" +
                    (!why.empty()      ? why
                     : hostWhy.empty() ? "缺少主机"
                                       : hostWhy);
            return std::nullopt;
        }
        return settings;
    }
    if (!driver::readKeyValues(
            text,
            [&](const std::string& key, const std::string& value) {
                return set(settings, key, value);
            },
            error))
        return std::nullopt;
    if (settings.host.empty()) {
        error = "缺少 host（模块的地址）";
        return std::nullopt;
    }
    error = beyondAddresses(settings);
    return error.empty() ? std::optional<Settings>(settings) : std::nullopt;
}

} // namespace modbuscard
