#include "report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>

namespace cli::selftest {

std::string joined(const std::vector<int>& channels, const char* separator) {
    std::string text;
    for (int channel : channels)
        text += (text.empty() ? "" : separator) + std::to_string(channel);
    return text;
}

namespace {

using Kind = Behaviour::Kind;

std::vector<int> with(std::vector<int> lines, int line) {
    lines.push_back(line);
    return lines;
}

bool constant(const Behaviour& b) {
    return b.kind == Kind::Zero || b.kind == Kind::One;
}

const char* undecidedText(Why why) {
    switch (why) {
    case Why::SameValue:
        return "读数恒为同一个值，可能各自固定，也可能互相短路而其中有一条固定";
    case Why::UnseenOutput:
        return "其中一条的输出哪个输入也没有到，可能断了线，也可能与一条固定的线短路";
    case Why::Unexplained:
    case Why::None:
        break;
    }
    return "读数不合任何一种故障";
}

} // namespace

Report makeReport(const std::vector<int>& channels, const Learned& learned,
                  const std::vector<int>& flickers) {
    const int lines = static_cast<int>(channels.size());
    auto named = [&](std::vector<int> group) {
        for (int& line : group)
            line = channels[line];
        std::sort(group.begin(), group.end());
        return group;
    };
    Report report{lines, learned.patterns, 0, {}};
    std::map<std::pair<Kind, std::vector<int>>, bool> shorts;
    std::vector<int> readsZero, readsOne;
    std::vector<bool> reached(lines); // some input follows this line's output
    auto intermittent = [&](int input) {
        return input < static_cast<int>(flickers.size()) && flickers[input] > 0;
    };
    for (int input = 0; input < lines; ++input) {
        const Behaviour& b = learned.inputs[input];
        if (intermittent(input)) { // its readings tell nothing of other lines
            report.faults.push_back({FaultKind::Intermittent,
                                     {channels[input]},
                                     Wired::None,
                                     Why::None,
                                     flickers[input]});
            continue;
        }
        for (int line : b.lines)
            reached[line] = true;
        switch (b.kind) {
        case Kind::Zero:
        case Kind::One:
            report.faults.push_back(
                {b.kind == Kind::Zero ? FaultKind::Stuck0 : FaultKind::Stuck1, {channels[input]}});
            (b.kind == Kind::Zero ? readsZero : readsOne).push_back(channels[input]);
            break;
        case Kind::Follows:
            if (b.lines.front() != input)
                report.faults.push_back(
                    {FaultKind::Crossed, {channels[b.lines.front()], channels[input]}});
            break;
        case Kind::And:
        case Kind::Or:
            // A group read by an input outside it: no fault of these kinds says
            // so, and no short is named on its word alone (a flickering input
            // reads as one): a short is named where its own lines read it.
            if (std::binary_search(b.lines.begin(), b.lines.end(), input))
                shorts[{b.kind, named(b.lines)}] = true;
            else
                report.faults.push_back({FaultKind::Undecided, named(with(b.lines, input)),
                                         Wired::None, Why::Unexplained});
            break;
        case Kind::Unknown:
            report.faults.push_back(
                {FaultKind::Undecided, {channels[input]}, Wired::None, Why::Unexplained});
            break;
        }
    }
    for (const auto& [group, _] : shorts)
        report.faults.push_back(
            {FaultKind::Short, group.second, group.first == Kind::And ? Wired::And : Wired::Or});
    // Lines that read one value may each be stuck, or shorted to one that is.
    for (const std::vector<int>* same : {&readsZero, &readsOne})
        if (same->size() >= 2)
            report.faults.push_back({FaultKind::Undecided, *same, Wired::None, Why::SameValue});
    // An output no input follows, while its own input follows another line:
    // its wire is lost, or it is shorted to a line stuck at the value that hides it.
    for (int line = 0; line < lines; ++line) {
        const Behaviour& own = learned.inputs[line];
        if (!reached[line] && !intermittent(line) && !constant(own) && own.kind != Kind::Unknown)
            report.faults.push_back({FaultKind::Undecided, named(with(own.lines, line)),
                                     Wired::None, Why::UnseenOutput});
    }
    std::sort(report.faults.begin(), report.faults.end(), [](const Fault& a, const Fault& b) {
        return std::tie(a.channels, a.kind, a.why) < std::tie(b.channels, b.kind, b.why);
    });
    report.faults.erase(std::unique(report.faults.begin(), report.faults.end(),
                                    [](const Fault& a, const Fault& b) {
                                        return a.channels == b.channels && a.kind == b.kind &&
                                               a.why == b.why;
                                    }),
                        report.faults.end());
    std::set<int> faulty;
    for (const Fault& fault : report.faults)
        faulty.insert(fault.channels.begin(), fault.channels.end());
    report.sound = lines - static_cast<int>(faulty.size());
    return report;
}

std::string summaryText(const Report& report) {
    std::string text = std::to_string(report.channels) + " 条通道：";
    if (report.faults.empty())
        return text + "全部正常";
    text += std::to_string(report.sound) + " 正常";
    struct Part {
        FaultKind kind;
        const char* counted;
        const char* between; // the lists of two faults
        std::vector<std::string> lists;
    };
    Part parts[] = {{FaultKind::Stuck0, " 条固定为 0", "、", {}},
                    {FaultKind::Stuck1, " 条固定为 1", "、", {}},
                    {FaultKind::Short, " 组短路", "；", {}},
                    {FaultKind::Crossed, " 处交叉", "、", {}},
                    {FaultKind::Intermittent, " 条时通时断", "、", {}},
                    {FaultKind::Undecided, " 处无法判断", "；", {}}};
    for (const Fault& fault : report.faults)
        for (Part& part : parts)
            if (fault.kind == part.kind)
                part.lists.push_back(
                    joined(fault.channels, fault.kind == FaultKind::Crossed ? "→" : "、"));
    std::string previous; // a list just given is not given again
    for (const Part& part : parts) {
        if (part.lists.empty())
            continue;
        std::string lists;
        for (const std::string& list : part.lists)
            lists += (lists.empty() ? "" : part.between) + list;
        text += "，" + std::to_string(part.lists.size()) + part.counted +
                (lists == previous ? "（同上）" : "（通道 " + lists + "）");
        previous = lists;
    }
    return text;
}

std::vector<std::string> faultTexts(const Report& report) {
    std::vector<std::string> texts;
    for (const Fault& f : report.faults) {
        const std::string channels = "通道 " + joined(f.channels);
        switch (f.kind) {
        case FaultKind::Stuck0:
        case FaultKind::Stuck1:
            texts.push_back(channels + "：固定为 " + (f.kind == FaultKind::Stuck1 ? "1" : "0") +
                            "（开路或被钳住）");
            break;
        case FaultKind::Short:
            texts.push_back(channels + "：短路（" + (f.wired == Wired::And ? "线与" : "线或") +
                            "）");
            break;
        case FaultKind::Crossed:
            // Always two channels as found; one read back from a record file is checked.
            if (f.channels.size() == 2)
                texts.push_back("通道 " + std::to_string(f.channels[0]) + " 的输出到了通道 " +
                                std::to_string(f.channels[1]) + " 的输入（交叉）");
            else
                texts.push_back(channels + "：交叉");
            break;
        case FaultKind::Intermittent:
            texts.push_back(channels + "：时通时断——图样不变时读数变了 " +
                            std::to_string(f.flickers) + " 次");
            break;
        case FaultKind::Undecided:
            texts.push_back(channels + "：无法判断——" + undecidedText(f.why));
            break;
        }
    }
    return texts;
}

nlohmann::ordered_json faultsJson(const std::vector<Fault>& list) {
    nlohmann::ordered_json faults = nlohmann::ordered_json::array();
    for (const Fault& f : list) {
        nlohmann::ordered_json fault = {{"kind", nameOf(f.kind)}};
        if (f.wired != Wired::None)
            fault["wired"] = nameOf(f.wired);
        fault["channels"] = f.channels;
        if (f.why != Why::None)
            fault["why"] = nameOf(f.why);
        if (f.kind == FaultKind::Intermittent)
            fault["flickers"] = f.flickers;
        faults.push_back(fault);
    }
    return faults;
}

std::string reportJson(const Report& report) {
    const nlohmann::ordered_json json = {{"channels", report.channels},
                                         {"patterns", report.patterns},
                                         {"sound", report.sound},
                                         {"faults", faultsJson(report.faults)}};
    return json.dump();
}

} // namespace cli::selftest
