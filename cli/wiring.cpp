#include "wiring.h"

#include "cli/errors.h"
#include "convert/full_width.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace cli {
namespace {

// A whole number in the text, or -1.
int wholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoi(text);
}

int channelNumber(const std::string& text, const std::string& list) {
    const int channel = wholeNumber(text);
    if (channel < 1 || channel > kChannels)
        throw UsageError("通道“" + text + "”不对（在“" + list + "”中）：通道是 1 到 128 的数");
    return channel;
}

} // namespace

Wiring::Wiring() {
    for (int channel = 1; channel <= kChannels; ++channel)
        inputs_.push_back({(channel - 1) / 8, (channel - 1) % 8});
}

Wiring Wiring::fromFile(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw UsageError("读不了接线表“" + path + "”");
    Wiring wiring;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        std::istringstream fields(convert::foldFullWidth(line.substr(0, line.find('#'))));
        std::string channel, word, bit, extra;
        if (!(fields >> channel))
            continue;
        fields >> word >> bit >> extra;
        const int c = wholeNumber(channel), w = wholeNumber(word), b = wholeNumber(bit);
        if (c < 1 || c > kChannels || w < 0 || w >= kMaxInputWords || b < 0 || b > 15 ||
            !extra.empty())
            throw UsageError("接线表“" + path + "”第 " + std::to_string(number) +
                             " 行不对：应为“通道 字 位”，通道 1 到 128，字 0 到 31，位 0 到 15");
        wiring.inputs_[c - 1] = {w, b};
    }
    return wiring;
}

int Wiring::wordsFor(const std::vector<int>& channels) const {
    int words = 0;
    for (int channel : channels)
        words = std::max(words, input(channel).word + 1);
    return words;
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
