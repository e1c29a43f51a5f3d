#include "unit.h"

#include "convert/digits.h"

#include <sstream>

namespace simcard {
namespace {

constexpr long kLongestDelayMs = 60000;

std::optional<int> line(const std::string& text) {
    const std::optional<long> channel = convert::decimalNumber(text, 3);
    if (!channel || *channel < 1 || *channel > kLines)
        return std::nullopt;
    return static_cast<int>(*channel) - 1;
}

} // namespace

std::optional<Unit> parseUnit(const std::string& description, std::string& error) {
    Unit unit;
    std::istringstream parts(description);
    for (std::string part; std::getline(parts, part, ';');) {
        if (part.empty())
            continue;
        const auto arrow = part.find('>');
        const auto at = part.find('@');
        if (arrow == std::string::npos) {
            error = "“" + part + "”不是“输出>输入[~][@毫秒]”";
            return std::nullopt;
        }
        const bool inverted = part[0] == '!';
        const std::optional<int> output = line(part.substr(inverted, arrow - inverted));
        std::string in =
            part.substr(arrow + 1, at == std::string::npos ? std::string::npos : at - arrow - 1);
        const bool chatters = !in.empty() && in.back() == '~';
        if (chatters)
            in.pop_back();
        const std::optional<int> input = line(in);
        std::optional<long> delay = 0L;
        if (at != std::string::npos)
            delay = convert::decimalNumber(part.substr(at + 1), 5);
        if (!output || !input || !delay || *delay > kLongestDelayMs) {
            error = "“" + part + "”不对：通道为 1 到 128，延时为 0 到 60000 毫秒";
            return std::nullopt;
        }
        Unit::Answer& answer = unit.inputs[*input];
        if (answer.output >= 0) {
            error = "输入 " + std::to_string(*input + 1) + " 给了两次";
            return std::nullopt;
        }
        answer = {*output, inverted, chatters, static_cast<std::uint32_t>(*delay)};
    }
    return unit;
}

} // namespace simcard
