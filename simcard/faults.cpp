#include "faults.h"

#include "convert/digits.h"

#include <algorithm>
#include <numeric>
#include <sstream>

namespace simcard {
namespace {

// "1,2,3" as 0-based lines; none if an item is not a channel number.
std::optional<std::vector<int>> channelList(const std::string& text) {
    std::vector<int> lines;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const std::optional<long> channel = convert::decimalNumber(item, 3);
        if (!channel || *channel < 1 || *channel > kLines)
            return std::nullopt;
        lines.push_back(static_cast<int>(*channel) - 1);
    }
    if (lines.empty())
        return std::nullopt;
    return lines;
}

// Adds one "key=channels" part, or says what is wrong with it.
std::string addPart(const std::string& key, const std::vector<int>& lines, Faults& faults,
                    std::vector<bool>& shorted, std::vector<bool>& crossed) {
    auto once = [](std::vector<bool>& used, int line) {
        const bool first = !used[line];
        used[line] = true;
        return first;
    };
    if (key == "stuck0" || key == "stuck1") {
        for (int line : lines) {
            const int value = key == "stuck1";
            if (faults.held[line] == 1 - value)
                return "通道 " + std::to_string(line + 1) + " 不能同时固定为 0 和 1";
            faults.held[line] = value;
        }
    } else if (key == "open") {
        for (int line : lines)
            faults.open[line] = true;
    } else if (key == "short-and" || key == "short-or") {
        if (lines.size() < 2)
            return "短路至少要两条通道";
        for (int line : lines)
            if (!once(shorted, line))
                return "通道 " + std::to_string(line + 1) + " 已在另一组短路中";
        faults.shorts.push_back({key == "short-and", lines});
    } else if (key == "flicker" || key == "silent") {
        for (int line : lines)
            (key == "flicker" ? faults.flickers : faults.silent)[line] = true;
        faults.silentLines = faults.silentLines || key == "silent";
    } else if (key == "cross") {
        if (lines.size() != 2 || lines[0] == lines[1])
            return "交叉须是两条不同的通道";
        for (int line : lines)
            if (!once(crossed, line))
                return "通道 " + std::to_string(line + 1) + " 已与另一条交叉";
        std::swap(faults.source[lines[0]], faults.source[lines[1]]);
    } else {
        return "不认识的故障（可用 stuck0、stuck1、open、short-and、short-or、cross、flicker、"
               "seed、silent-after、silent）";
    }
    return {};
}

// A number for the keys that take one ("seed", "silent-after"): true where the
// key is one of them, `why` saying what is wrong with the value.
bool addNumber(const std::string& key, const std::string& value, Faults& faults, std::string& why) {
    if (key != "seed" && key != "silent-after")
        return false;
    const std::optional<long> number = convert::decimalNumber(value, 9);
    if (!number)
        why = "应为不超过 9 位的十进制数";
    else if (key == "seed")
        faults.seed = static_cast<unsigned>(*number);
    else
        faults.silentAfter = std::chrono::milliseconds(*number);
    return true;
}

} // namespace

Faults::Faults() : open{}, flickers{}, silent{} {
    held.fill(-1);
    std::iota(source.begin(), source.end(), 0);
}

std::optional<Faults> parseFaults(const std::string& text, std::string& error) {
    Faults faults;
    std::vector<bool> shorted(kLines), crossed(kLines);
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ';');) {
        if (part.empty())
            continue;
        const auto equals = part.find('=');
        const std::string key = part.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : part.substr(equals + 1);
        std::string why;
        if (!addNumber(key, value, faults, why)) {
            const auto lines = channelList(value);
            why = lines ? addPart(key, *lines, faults, shorted, crossed)
                        : "通道须是 1 到 128 的数，以逗号分开";
        }
        if (!why.empty()) {
            error = "“" + part + "”：" + why;
            return std::nullopt;
        }
    }
    return faults;
}

std::array<bool, kLines> inputsFor(const std::array<bool, kLines>& outputs, const Faults& faults,
                                   std::minstd_rand& random) {
    std::array<bool, kLines> wire;
    for (int line = 0; line < kLines; ++line)
        wire[line] = faults.held[line] >= 0 ? faults.held[line] == 1 : outputs[line];
    const std::array<bool, kLines> driven = wire;
    for (const Faults::Short& group : faults.shorts) {
        bool value = group.wiredAnd;
        for (int line : group.lines)
            value = group.wiredAnd ? value && driven[line] : value || driven[line];
        for (int line : group.lines)
            wire[line] = value;
    }
    std::array<bool, kLines> inputs;
    for (int line = 0; line < kLines; ++line)
        inputs[line] = faults.flickers[line] ? (random() & 1) != 0
                                             : faults.open[line] || wire[faults.source[line]];
    return inputs;
}

} // namespace simcard
