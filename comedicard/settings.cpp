#include "comedicard/settings.h"

#include "driver/driver_settings.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <utility>

namespace comedicard {
namespace {

constexpr int kMostLines = 128;

// "0-7,16-23": channels in order, each once; none where malformed.
std::optional<std::vector<int>> channelList(const std::string& text) {
    std::vector<int> channels;
    std::set<int> seen;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        part = driver::trimmed(part);
        const auto dash = part.find('-', 1);
        const auto first = driver::wholeNumber(part.substr(0, dash), 0, 65535);
        const auto last = dash == std::string::npos
                              ? first
                              : driver::wholeNumber(part.substr(dash + 1), 0, 65535);
        if (!first || !last || *last < *first || *last - *first >= kMostLines)
            return std::nullopt;
        for (int channel = *first; channel <= *last; ++channel)
            if (!seen.insert(channel).second || channels.size() >= kMostLines)
                return std::nullopt;
            else
                channels.push_back(channel);
    }
    return channels.empty() ? std::nullopt : std::optional<std::vector<int>>(channels);
}

std::string set(Settings& settings, const std::string& key, const std::string& value) {
    if (key == "device") {
        settings.device = value;
        return !value.empty() && value[0] == '/' ? "" : "应为设备的绝对路径，如 /dev/comedi0";
    }
    if (key == "inputs" || key == "outputs") {
        const auto subdevice = driver::wholeNumber(value, 0, 255);
        (key == "inputs" ? settings.inputs : settings.outputs) = subdevice;
        return subdevice ? "" : "应为子设备号 0 到 255";
    }
    if (key == "input-channels" || key == "output-channels") {
        const auto channels = channelList(value);
        (key == "input-channels" ? settings.inputChannels : settings.outputChannels) =
            channels.value_or(std::vector<int>{});
        return channels ? "" : "应为不重复的通道号或范围，最多 128 个，如 0-7,16-23";
    }
    if (key == "lines") {
        settings.lines = driver::wholeNumber(value, 8, kMostLines);
        return settings.lines && *settings.lines % 8 == 0 ? "" : "应为 8 到 128 之间 8 的倍数";
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
    return "不认识的设置（可用 device、inputs、outputs、input-channels、output-channels、lines、"
           "settling、caption）";
}

// Why the channel lists and the line count disagree, or "".
std::string disagreement(Settings& settings) {
    const auto inputs = settings.inputChannels.size(), outputs = settings.outputChannels.size();
    for (const auto& [count, name] : {std::pair{inputs, "input"}, std::pair{outputs, "output"}})
        if (count % 8 != 0)
            return "通道数应为 8 的倍数（" + std::string(name) + "-channels 有 " +
                   std::to_string(count) + " 个）";
    if (inputs && outputs && inputs != outputs)
        return "input-channels 有 " + std::to_string(inputs) + " 个通道，output-channels 有 " +
               std::to_string(outputs) + " 个：应一样多";
    const int given = static_cast<int>(std::max(inputs, outputs));
    if (given && settings.lines && *settings.lines != given)
        return "lines = " + std::to_string(*settings.lines) + "，而通道有 " +
               std::to_string(given) + " 个";
    if (given)
        settings.lines = given;
    return "";
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
    error = disagreement(settings);
    return error.empty() ? std::optional<Settings>(settings) : std::nullopt;
}

} // namespace comedicard
