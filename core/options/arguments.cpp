#include "arguments.h"

#include "convert/digits.h"
#include "convert/full_width.h"
#include "core/base/errors.h"
#include "core/card/wiring.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <set>

namespace cli {
namespace {

// "KEY=VALUE" split at its '=', or UsageError.
std::pair<std::string, std::string> assignment(const std::string& argument, const char* form) {
    const std::string text = convert::foldFullWidth(argument);
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw UsageError("参数“" + argument + "”不对：应为" + form);
    return {text.substr(0, equals), text.substr(equals + 1)};
}

// The number in up to three decimal digits, or -1.
int decimal(const std::string& text) {
    return static_cast<int>(convert::decimalNumber(text, 3).value_or(-1));
}

// One or two hexadecimal digits, after an optional 0x or &H; or -1.
int hexByte(const std::string& typed) {
    const std::string text(convert::withoutHexPrefix(typed));
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return -1;
    return std::stoi(text, nullptr, 16);
}

// Each "KEY=VALUE" argument as `read` takes it (none: a wrong one), each key
// (the setting's `Key`) once: which value would be meant?
template <typename Setting, int Setting::*Key, typename Read>
std::vector<Setting> settings(const std::vector<std::string>& arguments, const char* form,
                              const char* key, Read read) {
    std::vector<Setting> all;
    std::set<int> seen;
    for (const std::string& argument : arguments) {
        const auto [name, value] = assignment(argument, form);
        const std::optional<Setting> setting = read(name, value);
        if (!setting)
            throw UsageError("参数“" + argument + "”不对：应为" + form);
        if (!seen.insert((*setting).*Key).second)
            throw UsageError(std::string(key) + "在“" + argument + "”中第二次出现");
        all.push_back(*setting);
    }
    return all;
}

} // namespace

std::vector<BitSetting> parseBitSettings(const std::vector<std::string>& arguments) {
    return settings<BitSetting, &BitSetting::channel>(
        arguments, "“通道=0”或“通道=1”，通道 1 到 128", "通道",
        [](const std::string& key, const std::string& value) {
            const int channel = decimal(key);
            return channel >= 1 && channel <= kChannels && (value == "0" || value == "1")
                       ? std::optional(BitSetting{channel, value == "1"})
                       : std::nullopt;
        });
}

std::vector<ByteSetting> parseByteSettings(const std::vector<std::string>& arguments) {
    return settings<ByteSetting, &ByteSetting::group>(
        arguments, "“通道组=十六进制字节”，通道组 0 到 15，字节 00 到 FF", "通道组",
        [](const std::string& key, const std::string& value) {
            const int group = decimal(key), byte = hexByte(value);
            return group >= 0 && group < card::kGroups && byte >= 0
                       ? std::optional(ByteSetting{group, byte})
                       : std::nullopt;
        });
}

long parseNumber(const std::string& text, const std::string& option, long low, long high) {
    const std::optional<long> value = convert::decimalNumber(convert::foldFullWidth(text), 9);
    if (!value || *value < low || *value > high)
        throw UsageError(option + " 的“" + text + "”不对：应为 " + std::to_string(low) + " 到 " +
                         std::to_string(high) + " 的整数");
    return *value;
}

} // namespace cli
