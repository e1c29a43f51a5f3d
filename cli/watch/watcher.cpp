#include "watcher.h"

#include "core/base/timestamp.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace cli {
namespace {

constexpr const char* kCsvHeader = "time,event,channel,value\n";

} // namespace

Watcher::Watcher(std::vector<int> channels, const Wiring& wiring, WatchFormat format, bool utc)
    : channels_(std::move(channels)), format_(format), utc_(utc),
      words_(wiring.wordsFor(channels_)), values_(channels_.size()), counts_(channels_.size()) {
    for (int channel : channels_) {
        inputs_.push_back(wiring.input(channel));
        names_.push_back(wiring.name(channel).empty() ? "ch" + std::to_string(channel)
                                                      : wiring.name(channel));
    }
}

std::string Watcher::line(const std::string& time, const char* event, int channel,
                          long value) const {
    switch (format_) {
    case WatchFormat::Csv:
        return time + "," + event + "," + std::to_string(channel) + "," + std::to_string(value) +
               "\n";
    case WatchFormat::Jsonl:
        return nlohmann::ordered_json{
                   {"time", time}, {"event", event}, {"channel", channel}, {"value", value}}
                   .dump() +
               "\n";
    case WatchFormat::Text:
    case WatchFormat::Vcd: // its lines are takeVcd's
        break;
    }
    return time + "  通道 " + std::to_string(channel) + " → " + std::to_string(value) + "\n";
}

namespace {

// The dump's short name for wire i: printable characters, two past 94 wires.
std::string vcdId(std::size_t i) {
    const std::string one(1, static_cast<char>('!' + i % 94));
    return i < 94 ? one : std::string(1, static_cast<char>('!' + i / 94 - 1)) + one;
}

} // namespace

void Watcher::begin(std::chrono::system_clock::time_point start) {
    start_ = start;
    begun_ = true;
}

// The dump's header and its first time, the values to follow.
std::string Watcher::vcdOpening(std::chrono::system_clock::time_point when) {
    if (!begun_)
        start_ = when;
    headed_ = true;
    return vcdHeader() + vcdTime(when) + "$dumpvars\n";
}

std::string Watcher::vcdTime(std::chrono::system_clock::time_point when) {
    const long long micros =
        std::chrono::duration_cast<std::chrono::microseconds>(when - start_).count();
    lastVcdTime_ = std::max(lastVcdTime_, micros);
    return "#" + std::to_string(lastVcdTime_) + "\n";
}

std::string Watcher::vcdHeader() const {
    std::string header = "$date\n  " + isoTimestamp(start_, utc_) +
                         "\n$end\n$version\n  dio-cli watch\n$end\n$timescale 1 us $end\n"
                         "$scope module dio $end\n";
    for (std::size_t i = 0; i < channels_.size(); ++i)
        header += "$var wire 1 " + vcdId(i) + " " + names_[i] + " $end\n";
    return header + "$upscope $end\n$enddefinitions $end\n";
}

std::string Watcher::takeVcd(const std::vector<bool>& read,
                             std::chrono::system_clock::time_point now) {
    std::string printed;
    if (!started_) { // after a gap the header is out, the values unknown until now
        const bool opening = !headed_;
        printed = opening ? vcdOpening(now) : vcdTime(now);
        for (std::size_t i = 0; i < read.size(); ++i)
            printed += (read[i] ? "1" : "0") + vcdId(i) + "\n";
        values_ = read;
        started_ = true;
        unknown_ = false;
        return printed + (opening ? "$end\n" : "");
    }
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i] != values_[i]) {
            ++counts_[i];
            ++changes_;
            lastChanges_.push_back({channels_[i], read[i]});
        }
        if (read[i] != values_[i] || unknown_)
            printed += (read[i] ? "1" : "0") + vcdId(i) + "\n";
        values_[i] = read[i];
    }
    unknown_ = false;
    return printed.empty() ? printed : vcdTime(now) + printed;
}

std::string Watcher::take(const std::vector<std::int16_t>& words,
                          std::chrono::system_clock::time_point now) {
    lastChanges_.clear();
    if (format_ == WatchFormat::Vcd) {
        std::vector<bool> read;
        for (const InputBit& in : inputs_)
            read.push_back((words[in.word] >> in.bit & 1) != 0);
        return takeVcd(read, now);
    }
    const std::string time = isoTimestamp(now, utc_);
    std::string printed;
    if (!headed_ && format_ == WatchFormat::Csv)
        printed = kCsvHeader;
    headed_ = true;
    std::string high; // the text format's initial state: the channels at 1
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const bool value = (words[inputs_[i].word] >> inputs_[i].bit & 1) != 0;
        if (!started_) {
            values_[i] = value;
            if (format_ != WatchFormat::Text)
                printed += line(time, "initial", channels_[i], value);
            else if (value)
                high += (high.empty() ? "" : "、") + std::to_string(channels_[i]);
        } else if (value != values_[i]) {
            values_[i] = value;
            ++counts_[i];
            ++changes_;
            lastChanges_.push_back({channels_[i], value});
            printed += line(time, "change", channels_[i], value);
        }
    }
    if (!started_ && format_ == WatchFormat::Text)
        printed += time + "  初始状态：" +
                   (high.empty() ? std::string("全部为 0") : "通道 " + high + " 为 1，其余为 0") +
                   "\n";
    started_ = true;
    return printed;
}

std::string Watcher::gap(std::chrono::system_clock::time_point from,
                         std::chrono::system_clock::time_point to) {
    const std::string start = isoTimestamp(from, utc_), end = isoTimestamp(to, utc_);
    switch (format_) {
    case WatchFormat::Vcd: { // unknown ('x') from its start, known again at the next poll
        const bool opening = !headed_;
        std::string printed = opening ? vcdOpening(from) : vcdTime(from);
        for (std::size_t i = 0; i < channels_.size(); ++i)
            printed += "x" + vcdId(i) + "\n";
        unknown_ = true;
        return printed + (opening ? "$end\n" : "");
    }
    case WatchFormat::Csv: {
        const std::string header = headed_ ? "" : kCsvHeader;
        headed_ = true;
        return header + start + ",gap,," + end + "\n";
    }
    case WatchFormat::Jsonl:
        return nlohmann::ordered_json{{"time", end}, {"event", "gap"}, {"from", start}, {"to", end}}
                   .dump() +
               "\n";
    case WatchFormat::Text:
        break;
    }
    return end + "  读不到输入：从 " + start + " 到 " + end + "（其间的变化不知）\n";
}

std::string Watcher::summary(std::chrono::system_clock::time_point now) {
    if (format_ == WatchFormat::Vcd) // the dump's end; it has no place for counts
        return vcdTime(now);
    const std::string time = isoTimestamp(now, utc_);
    std::string printed, counted;
    nlohmann::ordered_json counts = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (counts_[i] == 0)
            continue;
        if (format_ == WatchFormat::Csv)
            printed += line(time, "changes", channels_[i], counts_[i]);
        counts[std::to_string(channels_[i])] = counts_[i];
        counted += (counted.empty() ? "" : "，") + std::string("通道 ") +
                   std::to_string(channels_[i]) + "：" + std::to_string(counts_[i]) + " 次";
    }
    if (format_ == WatchFormat::Jsonl)
        return nlohmann::ordered_json{{"time", time}, {"event", "changes"}, {"counts", counts}}
                   .dump() +
               "\n";
    if (format_ == WatchFormat::Text)
        return time + "  变化次数：" + (counted.empty() ? std::string("没有变化") : counted) + "\n";
    return printed;
}

} // namespace cli
