#include "read_back.h"

#include "convert/printable.h"
#include "core/card/wiring.h"
#include "core/records/plan_steps.h"
#include "driver/card_shape.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace cli::records {

RecordFailed unknownName(const char* what, const std::string& name) {
    return RecordFailed(std::string("记录库里有不认识的") + what + "“" +
                        convert::printable(name, false) + "”（不是 dio-cli 写的？）");
}

std::vector<int> channelList(const std::string& text) {
    // Written by dio-cli as "5,17": anything else (an empty list, a channel the
    // card does not have, "1.5") was not, and naming lines from it would be a guess.
    std::vector<int> channels;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, end - at);
        const bool digits =
            !item.empty() && item.size() <= 3 &&
            std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int channel = digits ? std::stoi(item) : 0;
        if (channel < 1 || channel > card::kChannels)
            throw RecordFailed("记录库里的通道表“" + convert::printable(text, false) +
                               "”不是 dio-cli 写的（应是 1 到 " + std::to_string(card::kChannels) +
                               " 的通道号，以逗号分隔）");
        channels.push_back(channel);
        at = end + 1;
    }
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

long ResultRows::count(int column) const {
    const std::int64_t value = integer(column);
    if (value < 0 || value > kMostCount)
        throw RecordFailed("记录库答的第 " + std::to_string(column + 1) + " 列应在 0 到 " +
                           std::to_string(kMostCount) + " 之间，却是 " + std::to_string(value));
    return static_cast<long>(value);
}

int ResultRows::channel(int column) const {
    const std::int64_t value = integer(column);
    if (value < 1 || value > card::kChannels)
        throw RecordFailed("记录库答的第 " + std::to_string(column + 1) + " 列应是通道号（1 到 " +
                           std::to_string(card::kChannels) + "），却是 " + std::to_string(value));
    return static_cast<int>(value);
}

namespace {

// The trace kept with a run, read as dio-cli wrote it: all three columns or
// none of them.
void readTrace(RecordedRun& run, const ResultRows& rows) {
    const bool none = rows.isNull(kRunCodes) && rows.isNull(kRunReads) && rows.isNull(kRunTrace);
    if (none)
        return;
    auto notOurs = [&](const std::string& why) {
        return RecordFailed("记录库里 " + convert::printable(run.uuid, false) +
                            " 的图样记录不是 dio-cli 写的：" + why);
    };
    if (rows.isNull(kRunCodes) || rows.isNull(kRunReads) || rows.isNull(kRunTrace))
        throw notOurs("码、读数次数和图样缺了一样");
    selftest::Trace trace;
    trace.codes = fromName(rows.text(kRunCodes), selftest::kCodesNames, "图样的码");
    const std::int64_t reads = rows.integer(kRunReads);
    if (reads < 2 || reads > selftest::kMostReads)
        throw notOurs("每个图样读了 " + std::to_string(reads) + " 次");
    trace.reads = static_cast<int>(reads);
    try {
        const std::size_t lines = parseChannels(run.channels).size();
        const std::string text = rows.text(kRunTrace);
        if (text.size() > selftest::longestPatternsText(lines))
            throw std::invalid_argument("有 " + std::to_string(text.size()) +
                                        " 字节，长过任何一次自检的");
        trace.patterns = selftest::patternsFromJson(nlohmann::json::parse(text), lines);
    } catch (const std::exception& e) { // not JSON, not a trace, a channel list that is none
        throw notOurs(e.what());
    }
    run.trace = std::move(trace);
}

// The plan of a plan's run and its steps: the four columns, or none of them.
void readPlan(RecordedRun& run, const ResultRows& rows) {
    run.suspectFixture = rows.integer(kRunSuspect) != 0;
    run.overruledBy = rows.text(kRunOverruled);
    if (rows.isNull(kRunPlan) && rows.isNull(kRunSteps))
        return;
    if (rows.isNull(kRunPlan) || rows.isNull(kRunSteps))
        throw RecordFailed("记录库里 " + convert::printable(run.uuid, false) +
                           " 的计划和步骤缺了一样：不是 dio-cli 写的");
    run.plan = plan::PlanIdentity{rows.text(kRunPlan), rows.text(kRunPlanVersion),
                                  rows.text(kRunPlanDigest)};
    run.steps = stepsFromText(rows.text(kRunSteps), run.uuid);
}

} // namespace

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
            run.settleMs = rows.count(kRunSettleMs);
            run.channels = rows.text(kRunChannels);
            run.patterns = rows.count(kRunPatterns);
            run.status = fromName(rows.text(kRunStatus), kRunStatusNames, "结果");
            run.reason = rows.text(kRunReason);
            run.id = rows.integer(kRunId);
            readTrace(run, rows);
            readPlan(run, rows);
            runs.push_back(std::move(run));
        }
        if (!rows.isNull(kFaultKind))
            runs.back().faults.push_back(faultFromNames(
                rows.text(kFaultKind), rows.text(kFaultChannels), rows.text(kFaultWired),
                rows.text(kFaultWhy), rows.count(kFaultFlickers)));
    }
    return runs;
}

std::string firstUnknownStatus(const std::string& conditions) {
    std::string known;
    for (const auto& entry : kRunStatusNames)
        known += std::string(known.empty() ? "'" : ", '") + entry.name + "'";
    return "SELECT r.status FROM runs r " + conditions + " AND r.status NOT IN (" + known +
           ") LIMIT 1";
}

void refuseUnknownStatus(ResultRows& rows) {
    if (rows.next())
        throw unknownName("结果", rows.text(0));
}

FaultCounts faultCountsFrom(std::int64_t runs, ResultRows& byKind, ResultRows& totals) {
    FaultCounts counts;
    counts.runs = static_cast<long>(runs);
    std::map<int, ChannelFaults> byChannel;
    while (byKind.next()) {
        const int number = byKind.channel(0);
        ChannelFaults& channel = byChannel[number];
        channel.channel = number;
        channel.kinds[selftest::nameOf(
            fromName(byKind.text(1), selftest::kFaultKindNames, "故障种类"))] = byKind.count(2);
    }
    while (totals.next()) {
        const int number = totals.channel(0);
        byChannel[number].channel = number;
        byChannel[number].total = totals.count(1);
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
        long* fields[] = {&c.runs,  &c.passed,    &c.failed,   &c.unfinished,
                          &c.units, &c.firstPass, &c.finalPass};
        for (int f = 0; f < 7; ++f)
            *fields[f] = rows.count(f + 1);
        counts.push_back(std::move(c));
    }
    return counts;
}

} // namespace cli::records
