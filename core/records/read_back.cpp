#include "read_back.h"

#include "convert/printable.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace cli::records {

RecordFailed unknownName(const char* what, const std::string& name) {
    return RecordFailed(std::string("记录库里有不认识的") + what + "“" +
                        convert::printable(name, false) + "”（不是 dio-cli 写的？）");
}

std::vector<int> channelList(const std::string& text) {
    std::vector<int> channels;
    std::istringstream in(text);
    for (int channel = 0; in >> channel; in.ignore(1))
        channels.push_back(channel);
    return channels;
}

selftest::Fault faultFromNames(const std::string& kind, const std::string& channels,
                               const std::string& wired, const std::string& why,
                               long long flickers) {
    using namespace selftest;
    return {fromName(kind, kFaultKindNames, "故障种类"), channelList(channels),
            fromName(wired, kWiredNames, "短路方式"), fromName(why, kWhyNames, "无法判断的原因"),
            static_cast<int>(flickers)};
}

RecordFailed notWhole(int column, bool null, const std::string& text) {
    return RecordFailed("记录库答的第 " + std::to_string(column + 1) + " 列应是整数，却是" +
                        (null ? std::string("空值") : "“" + convert::printable(text, false) + "”"));
}

std::int64_t ResultRows::integer(int column) const {
    if (const std::optional<std::int64_t> value = whole(column))
        return *value;
    throw notWhole(column, isNull(column), text(column));
}

std::vector<RecordedRun> runsFrom(ResultRows& rows) {
    std::vector<RecordedRun> runs;
    while (rows.next()) {
        if (runs.empty() || runs.back().uuid != rows.text(kRunUuid)) {
            RecordedRun run;
            run.uuid = rows.text(kRunUuid);
            run.serial = rows.text(kRunSerial);
            run.part = rows.text(kRunPart);
            run.station = rows.text(kRunStation);
            run.operatorName = rows.text(kRunOperator);
            run.started = rows.text(kRunStarted);
            run.ended = rows.text(kRunEnded);
            run.settleMs = static_cast<long>(rows.integer(kRunSettleMs));
            run.channels = rows.text(kRunChannels);
            run.patterns = static_cast<long>(rows.integer(kRunPatterns));
            run.status = fromName(rows.text(kRunStatus), kRunStatusNames, "结果");
            run.reason = rows.text(kRunReason);
            run.id = rows.integer(kRunId);
            runs.push_back(std::move(run));
        }
        if (!rows.isNull(kFaultKind))
            runs.back().faults.push_back(faultFromNames(
                rows.text(kFaultKind), rows.text(kFaultChannels), rows.text(kFaultWired),
                rows.text(kFaultWhy), rows.integer(kFaultFlickers)));
    }
    return runs;
}

FaultCounts faultCountsFrom(std::int64_t runs, ResultRows& byKind, ResultRows& totals) {
    FaultCounts counts;
    counts.runs = static_cast<long>(runs);
    std::map<int, ChannelFaults> byChannel;
    while (byKind.next()) {
        const int number = static_cast<int>(byKind.integer(0));
        ChannelFaults& channel = byChannel[number];
        channel.channel = number;
        channel.kinds[selftest::nameOf(
            fromName(byKind.text(1), selftest::kFaultKindNames, "故障种类"))] =
            static_cast<long>(byKind.integer(2));
    }
    while (totals.next()) {
        const int number = static_cast<int>(totals.integer(0));
        byChannel[number].channel = number;
        byChannel[number].total = static_cast<long>(totals.integer(1));
    }
    for (const auto& [number, channel] : byChannel)
        counts.channels.push_back(channel);
    // The weak spots first.
    std::stable_sort(
        counts.channels.begin(), counts.channels.end(),
        [](const ChannelFaults& a, const ChannelFaults& b) { return a.total > b.total; });
    return counts;
}

std::vector<StationCounts> stationCountsFrom(ResultRows& rows) {
    std::vector<StationCounts> counts;
    while (rows.next()) {
        StationCounts c;
        c.station = rows.text(0);
        long* fields[] = {&c.runs, &c.passed, &c.failed, &c.unfinished, &c.units, &c.firstPass};
        for (int f = 0; f < 6; ++f)
            *fields[f] = static_cast<long>(rows.integer(f + 1));
        counts.push_back(std::move(c));
    }
    return counts;
}

} // namespace cli::records
