#include "wiring.h"

#include "convert/digits.h"
#include "convert/full_width.h"
#include "core/base/errors.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace cli {
namespace {

// A whole number in up to four digits, or -1.
int wholeNumber(const std::string& text) {
    return static_cast<int>(convert::decimalNumber(text, 4).value_or(-1));
}

int channelNumber(const std::string& text, const std::string& list) {
    const int channel = wholeNumber(text);
    if (channel < 1 || channel > kChannels)
        throw UsageError("通道“" + text + "”不对（在“" + list + "”中）：通道是 1 到 128 的数");
    return channel;
}

// The map file's text, refused where it is no map's.
std::string mapText(const std::string& path) {
    std::error_code unknown;
    if (std::filesystem::is_directory(std::filesystem::u8path(path), unknown))
        throw UsageError("接线表“" + path + "”是个文件夹");
    std::ifstream input(std::filesystem::u8path(path), std::ios::binary);
    if (!input)
        throw UsageError("读不了接线表“" + path + "”");
    // 128 lines of a few words each: what is longer is not a map (/dev/zero
    // named by mistake would otherwise be read for ever).
    constexpr std::size_t kLargest = std::size_t{64} * 1024;
    std::string text(kLargest + 1, '\0');
    input.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (input.bad())
        throw UsageError("读接线表“" + path + "”时出错");
    text.resize(static_cast<std::size_t>(input.gcount()));
    if (text.size() > kLargest)
        throw UsageError("接线表“" + path + "”太大（超过 64 KiB），不像接线表");
    return text;
}

// Why a wire's name cannot be channel c's in a waveform, or "".
std::string nameProblem(const std::string& name, int c) {
    if (name.size() > 64 ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_.-[]") != std::string::npos)
        return "名称“" + name + "”只能由字母、数字和 _ . - [ ] 组成，至多 64 个";
    // "ch" and a number is a channel's own wire name where the map gives none.
    if (name.size() > 2 && name.compare(0, 2, "ch") == 0 &&
        name.find_first_not_of("0123456789", 2) == std::string::npos &&
        name != "ch" + std::to_string(c))
        return "名称“" + name + "”是另一条通道在波形里的默认名";
    return "";
}

} // namespace

Wiring::Wiring() : names_(kChannels) {
    for (int channel = 1; channel <= kChannels; ++channel)
        inputs_.push_back({card::groupOf(channel), card::bitOf(channel)});
}

Wiring Wiring::fromFile(const std::string& path) {
    std::istringstream file(mapText(path));
    Wiring wiring;
    std::map<int, int> channelAt;               // channel: the line that wires it
    std::map<std::pair<int, int>, int> inputAt; // input word and bit: the line that names it
    std::map<std::string, int> nameAt;          // a channel's name: the line that gives it
    int number = 0;
    auto wrong = [&](const std::string& why) {
        return UsageError("接线表“" + path + "”第 " + std::to_string(number) + " 行不对：" + why);
    };
    for (std::string line; std::getline(file, line);) {
        if (++number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) // a byte-order mark (Notepad's)
            line.erase(0, 3);
        std::istringstream fields(convert::foldFullWidth(line.substr(0, line.find('#'))));
        std::string channel, word, bit, name, extra;
        if (!(fields >> channel))
            continue;
        fields >> word >> bit >> name >> extra;
        const int c = wholeNumber(channel), w = wholeNumber(word), b = wholeNumber(bit);
        if (c < 1 || c > kChannels || w < 0 || w >= kMaxInputWords || b < 0 || b > 15 ||
            !extra.empty())
            throw wrong("应为“通道 字 位 [名称]”，通道 1 到 128，字 0 到 31，位 0 到 15");
        if (const std::string problem = nameProblem(name, c); !problem.empty())
            throw wrong(problem);
        if (!name.empty()) {
            if (const auto [at, first] = nameAt.emplace(name, number); !first)
                throw wrong("名称“" + name + "”已在第 " + std::to_string(at->second) + " 行用过");
            wiring.names_[c - 1] = name;
        }
        if (const auto [at, first] = channelAt.emplace(c, number); !first)
            throw wrong("通道 " + std::to_string(c) + " 已在第 " + std::to_string(at->second) +
                        " 行接过");
        if (const auto [at, first] = inputAt.emplace(std::pair(w, b), number); !first)
            throw wrong("输入字 " + std::to_string(w) + " 的位 " + std::to_string(b) + " 已在第 " +
                        std::to_string(at->second) + " 行接给了另一条通道");
        wiring.inputs_[c - 1] = {w, b};
    }
    if (channelAt.empty())
        throw UsageError("接线表“" + path + "”里没有一行接线");
    return wiring;
}

int Wiring::wordsFor(const std::vector<int>& channels) const {
    int words = 0;
    for (int channel : channels)
        words = std::max(words, input(channel).word + 1);
    return words;
}

void Wiring::requireOwnInputs(const std::vector<int>& channels) const {
    std::map<std::pair<int, int>, int> owner;
    for (int channel : channels) {
        const InputBit in = input(channel);
        if (const auto [at, first] = owner.emplace(std::pair(in.word, in.bit), channel); !first)
            throw UsageError("通道 " + std::to_string(at->second) + " 和 " +
                             std::to_string(channel) + " 按接线表都接到输入字 " +
                             std::to_string(in.word) + " 的位 " + std::to_string(in.bit) +
                             "，分不开：请在接线表里给其中一条另接");
    }
}

std::vector<int> parseChannels(const std::string& list) {
    const std::string text = convert::foldFullWidth(list);
    std::set<int> channels;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const auto dash = item.find('-');
        const int first = channelNumber(item.substr(0, dash), list);
        const int last =
            dash == std::string::npos ? first : channelNumber(item.substr(dash + 1), list);
        if (last < first)
            throw UsageError("通道范围“" + item + "”倒了：应从小到大");
        for (int channel = first; channel <= last; ++channel)
            channels.insert(channel);
    }
    if (channels.empty())
        throw UsageError("没有给出通道");
    return {channels.begin(), channels.end()};
}

} // namespace cli
