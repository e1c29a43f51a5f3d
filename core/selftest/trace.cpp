#include "trace.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>

namespace cli::selftest {

std::string bitsText(const std::vector<bool>& bits) {
    std::string text;
    text.reserve(bits.size());
    for (bool bit : bits)
        text += bit ? '1' : '0';
    return text;
}

std::optional<std::vector<bool>> bitsFrom(const std::string& text, std::size_t lines) {
    if (text.size() != lines)
        return std::nullopt;
    std::vector<bool> bits;
    bits.reserve(lines);
    for (char c : text) {
        if (c != '0' && c != '1')
            return std::nullopt;
        bits.push_back(c == '1');
    }
    return bits;
}

nlohmann::ordered_json patternsJson(const Patterns& patterns) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TracedPattern& pattern : patterns) {
        nlohmann::ordered_json json = {{"driven", bitsText(pattern.driven)}};
        if (pattern.read) {
            json["read"] = bitsText(pattern.read->values);
            const std::vector<bool>& changed = pattern.read->changed;
            if (std::find(changed.begin(), changed.end(), true) != changed.end())
                json["changed"] = bitsText(changed);
        }
        list.push_back(std::move(json));
    }
    return list;
}

std::size_t longestPatternsText(std::size_t lines) {
    // {"driven":"…","read":"…","changed":"…"}, a comma, some room for spaces.
    constexpr std::size_t kAround = 64;
    return 2 +
           static_cast<std::size_t>(patternBudget(static_cast<int>(lines))) * (3 * lines + kAround);
}

Patterns patternsFromJson(const nlohmann::json& json, std::size_t lines) {
    if (!json.is_array())
        throw std::invalid_argument("图样记录不是列表");
    if (json.size() > static_cast<std::size_t>(patternBudget(static_cast<int>(lines))))
        throw std::invalid_argument("图样记录有 " + std::to_string(json.size()) +
                                    " 个，多过自检在这些通道上会写的");
    Patterns patterns;
    for (const nlohmann::json& item : json) {
        const std::string which = "第 " + std::to_string(patterns.size() + 1) + " 个图样";
        auto bits = [&](const char* name) -> std::optional<std::vector<bool>> {
            const auto found = item.find(name);
            if (found == item.end())
                return std::nullopt;
            if (!found->is_string())
                throw std::invalid_argument(which + "的“" + name + "”不是字符串");
            if (auto values = bitsFrom(found->get<std::string>(), lines))
                return values;
            throw std::invalid_argument(which + "的“" + name + "”不是 " + std::to_string(lines) +
                                        " 个 0 和 1");
        };
        if (!item.is_object())
            throw std::invalid_argument(which + "不是对象");
        if (!patterns.empty() && !patterns.back().read)
            throw std::invalid_argument("第 " + std::to_string(patterns.size()) +
                                        " 个图样没有读数，后面却还有图样");
        std::optional<std::vector<bool>> driven = bits("driven"), read = bits("read"),
                                         changed = bits("changed");
        if (!driven)
            throw std::invalid_argument(which + "缺少“driven”");
        if (changed && !read)
            throw std::invalid_argument(which + "有“changed”却没有“read”");
        TracedPattern pattern{std::move(*driven), std::nullopt};
        if (read)
            pattern.read.emplace(std::move(*read),
                                 changed ? std::move(*changed) : std::vector<bool>(lines));
        patterns.push_back(std::move(pattern));
    }
    return patterns;
}

Report replay(const std::vector<int>& channels, const Trace& trace) {
    const std::size_t lines = channels.size();
    const Patterns& patterns = trace.patterns;
    std::vector<int> flickers(lines);
    std::size_t next = 0;
    const Learned learned = learn(
        static_cast<int>(lines),
        [&](const std::vector<bool>& pattern) {
            const std::string which = "第 " + std::to_string(next + 1) + " 个图样";
            if (next == patterns.size())
                throw TraceEnded("记下的 " + std::to_string(patterns.size()) +
                                 " 个图样之后，自检还要再写");
            const TracedPattern& traced = patterns[next];
            if (traced.driven != pattern)
                throw TraceMismatch(which + "不是自检按此前的读数会写的（应为 " +
                                    bitsText(pattern) + "）");
            if (!traced.read)
                throw TraceEnded(which + "写了，没有读");
            const Reading& read = *traced.read;
            if (read.values.size() != lines || read.changed.size() != lines)
                throw TraceMismatch(which + "的读数不是每条通道一个");
            for (std::size_t i = 0; i < lines; ++i)
                flickers[i] += read.changed[i] ? 1 : 0;
            ++next;
            return read;
        },
        trace.codes);
    if (next != patterns.size())
        throw TraceMismatch("自检到第 " + std::to_string(next) + " 个图样就结束了，记下的却有 " +
                            std::to_string(patterns.size()) + " 个");
    return makeReport(channels, learned, flickers);
}

std::string traceDisagrees(const std::vector<int>& channels, const Trace& trace, bool finished,
                           const std::vector<Fault>& faults) {
    Report replayed;
    try {
        replayed = replay(channels, trace);
    } catch (const TraceEnded& e) {
        if (finished)
            return e.what();
        return faults.empty() ? "" : "没做完的自检却记下了故障";
    } catch (const TraceMismatch& e) {
        return e.what();
    }
    // Each pattern in which an input changed was read again reads - 1 times.
    const int again = std::max(1, trace.reads - 1);
    bool same = replayed.faults.size() == faults.size();
    for (std::size_t i = 0; same && i < faults.size(); ++i) {
        const Fault &kept = faults[i], &worked = replayed.faults[i];
        same = kept.kind == worked.kind && kept.channels == worked.channels &&
               kept.wired == worked.wired && kept.why == worked.why &&
               (kept.kind != FaultKind::Intermittent ||
                (kept.flickers >= worked.flickers &&
                 static_cast<long>(kept.flickers) <= static_cast<long>(worked.flickers) * again));
    }
    if (same)
        return "";
    auto listed = [](const std::vector<Fault>& list) {
        std::string text;
        for (const std::string& line : faultTexts({0, 0, 0, list}))
            text += (text.empty() ? "" : "；") + line;
        return text.empty() ? std::string("没有故障") : text;
    };
    return "读数给出的是：" + listed(replayed.faults) + "；记下的却是：" + listed(faults);
}

} // namespace cli::selftest
