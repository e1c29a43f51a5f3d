#include "gpiocard/settings.h"

#include "driver/driver_settings.h"

#include <algorithm>
#include <sstream>

namespace gpiocard {
namespace {

constexpr std::size_t kMostLines = 128;

// "0-7,12,K1": offsets, ranges of them and names, each once; none where malformed.
std::optional<std::vector<LineName>> lineList(const std::string& text) {
    std::vector<LineName> lines;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        part = driver::trimmed(part);
        if (part.empty())
            return std::nullopt;
        const bool numeric = part.find_first_not_of("0123456789-") == std::string::npos;
        if (!numeric) {
            lines.emplace_back(part);
        } else {
            const auto dash = part.find('-', 1);
            const auto first = driver::wholeNumber(part.substr(0, dash), 0, 65535);
            const auto last = dash == std::string::npos
                                  ? first
                                  : driver::wholeNumber(part.substr(dash + 1), 0, 65535);
            if (!first || !last || *last < *first || *last - *first >= static_cast<int>(kMostLines))
                return std::nullopt;
            for (int offset = *first; offset <= *last; ++offset)
                lines.emplace_back(static_cast<unsigned>(offset));
        }
        if (lines.size() > kMostLines)
            return std::nullopt;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (std::find(lines.begin(), lines.begin() + static_cast<long>(i), lines[i]) !=
            lines.begin() + static_cast<long>(i))
            return std::nullopt;
    return lines;
}

std::string set(Settings& settings, const std::string& key, const std::string& value) {
    if (key == "chip") {
        settings.chip = value;
        return value.empty() ? "应为芯片的设备、名称或标签，如 /dev/gpiochip0" : "";
    }
    if (key == "outputs" || key == "inputs") {
        const auto lines = lineList(value);
        (key == "outputs" ? settings.outputs : settings.inputs) =
            lines.value_or(std::vector<LineName>{});
        return lines ? "" : "应为不重复的线号、范围或线名，最多 128 条，如 0-7,12 或 K1,K2";
    }
    if (key == "bias") {
        const std::pair<const char*, Bias> names[] = {{"as-is", Bias::AsIs},
                                                      {"pull-up", Bias::PullUp},
                                                      {"pull-down", Bias::PullDown},
                                                      {"disabled", Bias::Disabled}};
        for (const auto& [name, bias] : names)
            if (value == name) {
                settings.bias = bias;
                return "";
            }
        return "应为 as-is、pull-up、pull-down 或 disabled";
    }
    if (key == "settling") {
        const std::optional<int> read = driver::milliseconds(value, 0, 10000);
        settings.settlingMs = read.value_or(0);
        return read ? "" : "应为 0 到 10000 毫秒，如 5ms";
    }
    if (key == "caption") {
        const auto numbers = driver::captionNumbers(value);
        settings.caption = numbers.value_or(settings.caption);
        return numbers ? "" : "应为 0 到 255 的三个数，如 51 8 1";
    }
    return "不认识的设置（可用 chip、outputs、inputs、bias、settling、caption）";
}

} // namespace

std::optional<Settings> parseSettings(const std::string& text, std::string& error) {
    Settings settings;
    if (!driver::readKeyValues(
            text,
            [&](const std::string& key, const std::string& value) {
                return set(settings, key, value);
            },
            error))
        return std::nullopt;
    if (settings.chip.empty())
        error = "缺少 chip（GPIO 芯片）";
    else if (settings.outputs.empty() || settings.inputs.empty())
        error = "缺少 outputs 或 inputs（哪些线）";
    else if (settings.outputs.size() != settings.inputs.size() || settings.outputs.size() % 8 != 0)
        error = "outputs 与 inputs 应一样多，为 8 的倍数（现为 " +
                std::to_string(settings.outputs.size()) + " 与 " +
                std::to_string(settings.inputs.size()) + " 条）";
    else
        for (const LineName& line : settings.outputs)
            if (std::find(settings.inputs.begin(), settings.inputs.end(), line) !=
                settings.inputs.end())
                error = "一条线不能既作输出又作输入";
    return error.empty() ? std::optional<Settings>(settings) : std::nullopt;
}

} // namespace gpiocard
