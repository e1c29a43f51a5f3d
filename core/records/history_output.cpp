#include "history_output.h"

#include "convert/printable.h"
#include "core/records/plan_steps.h"
#include "core/records/trace_check.h"

#include <nlohmann/json.hpp>

namespace cli::records {
namespace {

std::string text(const std::vector<RecordedRun>& runs) {
    if (runs.empty())
        return "没有符合条件的记录\n";
    // Each field escaped, line breaks too: whatever another program wrote into
    // a serial number or a name can neither move the cursor nor forge a run.
    auto field = [](const std::string& value) { return convert::printable(value, false); };
    std::string out;
    for (const RecordedRun& run : runs) {
        out += field(run.started) + "  " + field(run.serial) + "  " + nameOf(run.status) +
               "  型号 " + (run.part.empty() ? "-" : field(run.part)) + "  测试台 " +
               field(run.station) + "  操作员 " + field(run.operatorName) + "  通道 " +
               field(run.channels) +
               (run.plan ? "  步骤 " + std::to_string(run.patterns)
                         : "  图样 " + std::to_string(run.patterns) + "  等待 " +
                               std::to_string(run.settleMs) + " ms") +
               "  结束 " + field(run.ended) + "\n";
        if (!run.reason.empty())
            out += "  原因：" + field(run.reason) + "\n";
        if (run.suspectFixture)
            out += "  夹具可疑：同一故障接连出现在不同的板卡上\n";
        if (!run.overruledBy.empty())
            out += "  送修的判定由 " + field(run.overruledBy) + " 否决，重测\n";
        if (run.plan)
            out += "  计划 " + field(run.plan->name) + " 版本 " + field(run.plan->version) +
                   "（摘要 " + field(run.plan->digest) + "）\n";
        for (const plan::RecordedStep& step : run.steps) {
            out += "  [" + std::string(convert::entryOf(plan::kOutcomeNames, step.outcome).word) +
                   "] " + field(step.name) +
                   (step.pass > 1 ? "（第 " + std::to_string(step.pass) + " 次）" : "");
            if (step.measuredMs)
                out += "：" + std::to_string(*step.measuredMs) + " ms";
            if (step.limitMs)
                out += "（限 " + std::to_string(*step.limitMs) + " ms）";
            for (const plan::Finding& f : step.findings)
                out += "  " + field(f.kind) + " " + field(f.where);
            out += "\n";
        }
        if (!run.plan)
            for (const std::string& fault : selftest::faultTexts({0, 0, 0, run.faults}))
                out += "  " + fault + "\n";
    }
    return out;
}

// A field as a spreadsheet takes it: one that would start a formula (=, +, -,
// @, a tab or a carriage return first) gets a leading apostrophe, which
// spreadsheets read as "text", and anything with a separator is quoted.
std::string csvField(const std::string& given) {
    const bool formula =
        !given.empty() && std::string("=+-@\t\r").find(given[0]) != std::string::npos;
    std::string value = formula ? "'" + given : given;
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (char c : value)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// "stuck-0 3; short and 5,6; intermittent 4 flickers 3".
std::string faultsField(const std::vector<selftest::Fault>& faults) {
    std::string field;
    for (const selftest::Fault& f : faults) {
        field += (field.empty() ? "" : "; ") + selftest::nameOf(f.kind);
        if (f.wired != selftest::Wired::None)
            field += " " + selftest::nameOf(f.wired);
        field += " " + selftest::joined(f.channels, ",");
        if (f.why != selftest::Why::None)
            field += " " + selftest::nameOf(f.why);
        if (f.kind == selftest::FaultKind::Intermittent)
            field += " flickers " + std::to_string(f.flickers);
    }
    return field;
}

std::string csv(const std::vector<RecordedRun>& runs) {
    std::string out = "id,serial,part,station,operator,started,ended,settle_ms,channels,patterns,"
                      "status,reason,faults\r\n";
    for (const RecordedRun& run : runs) {
        // A run of the plant's store has no station's number: left empty, as JSON leaves it out.
        const std::string fields[] = {run.id == 0 ? std::string() : std::to_string(run.id),
                                      run.serial,
                                      run.part,
                                      run.station,
                                      run.operatorName,
                                      run.started,
                                      run.ended,
                                      std::to_string(run.settleMs),
                                      run.channels,
                                      std::to_string(run.patterns),
                                      nameOf(run.status),
                                      run.reason,
                                      faultsField(run.faults)};
        std::string line;
        for (const std::string& field : fields)
            line += (&field == fields ? "" : ",") + csvField(field);
        out += line + "\r\n";
    }
    return out;
}

} // namespace

nlohmann::ordered_json runJson(const RecordedRun& run) {
    nlohmann::ordered_json json = {{"id", run.id},
                                   {"uuid", run.uuid},
                                   {"serial", run.serial},
                                   {"part", run.part},
                                   {"station", run.station},
                                   {"operator", run.operatorName},
                                   {"started", run.started},
                                   {"ended", run.ended},
                                   {"settle_ms", run.settleMs},
                                   {"channels", run.channels},
                                   {"patterns", run.patterns},
                                   {"status", nameOf(run.status)},
                                   {"reason", run.reason},
                                   {"faults", selftest::faultsJson(run.faults)}};
    // A run kept before codes and trace were has neither: left out, as such a
    // station sent it.
    if (run.trace) {
        json["codes"] = convert::nameIn(selftest::kCodesNames, run.trace->codes);
        json["reads"] = run.trace->reads;
        json["trace"] = selftest::patternsJson(run.trace->patterns);
    }
    if (run.plan) {
        json["plan"] = {
            {"name", run.plan->name}, {"version", run.plan->version}, {"digest", run.plan->digest}};
        json["steps"] = stepsJson(run.steps);
    }
    // Left out where unset, as a station of an earlier release sends them.
    if (run.suspectFixture)
        json["suspect_fixture"] = true;
    if (!run.overruledBy.empty())
        json["overruled_by"] = run.overruledBy;
    if (run.id == 0)
        json.erase("id"); // a run of the plant's store: its identity is the uuid
    return json;
}

namespace {

std::string json(const std::vector<RecordedRun>& runs) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const RecordedRun& run : runs)
        list.push_back(runJson(run));
    // A record written by another program may hold text that is not UTF-8.
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string statsText(const FaultCounts& counts) {
    std::string out =
        std::to_string(counts.runs) + " 次自检" +
        (counts.channels.empty() ? "，没有查出故障的通道\n" : "，查出故障的通道（最多的在前）：\n");
    for (const ChannelFaults& channel : counts.channels) {
        std::string kinds;
        for (const auto& kind : selftest::kFaultKindNames) {
            const auto found = channel.kinds.find(kind.name);
            if (found != channel.kinds.end())
                kinds += (kinds.empty() ? "" : "，") + std::string(kind.word) + " " +
                         std::to_string(found->second);
        }
        out += "  通道 " + std::to_string(channel.channel) + "：" + std::to_string(channel.total) +
               " 次（" + kinds + "）\n";
    }
    return out;
}

std::string statsCsv(const FaultCounts& counts) {
    std::string out = "channel,total";
    for (const auto& kind : selftest::kFaultKindNames)
        out += "," + std::string(kind.name);
    out += "\r\n";
    for (const ChannelFaults& channel : counts.channels) {
        out += std::to_string(channel.channel) + "," + std::to_string(channel.total);
        for (const auto& kind : selftest::kFaultKindNames) {
            const auto found = channel.kinds.find(kind.name);
            out += "," + std::to_string(found == channel.kinds.end() ? 0 : found->second);
        }
        out += "\r\n";
    }
    return out;
}

std::string statsJson(const FaultCounts& counts) {
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const ChannelFaults& channel : counts.channels)
        channels.push_back(
            {{"channel", channel.channel}, {"total", channel.total}, {"kinds", channel.kinds}});
    return nlohmann::ordered_json{{"runs", counts.runs}, {"channels", channels}}.dump(2) + "\n";
}

} // namespace

std::string statsOutput(const FaultCounts& counts, HistoryFormat format) {
    switch (format) {
    case HistoryFormat::Csv:
        return statsCsv(counts);
    case HistoryFormat::Json:
        return statsJson(counts);
    case HistoryFormat::Text:
        break;
    }
    return statsText(counts);
}

std::string stationStatsOutput(const std::vector<StationCounts>& counts, HistoryFormat format) {
    // A yield as a percentage with one decimal; "-" with no unit.
    auto yieldOf = [](const StationCounts& c, long passed) {
        if (c.units == 0)
            return std::string("-");
        const long tenths = (passed * 1000 + c.units / 2) / c.units;
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    };
    auto yield = [&](const StationCounts& c) { return yieldOf(c, c.firstPass); };
    auto finalYield = [&](const StationCounts& c) { return yieldOf(c, c.finalPass); };
    std::string out;
    if (format == HistoryFormat::Json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const StationCounts& c : counts)
            list.push_back({{"station", c.station},
                            {"runs", c.runs},
                            {"passed", c.passed},
                            {"failed", c.failed},
                            {"unfinished", c.unfinished},
                            {"units", c.units},
                            {"first_pass", c.firstPass},
                            {"final_pass", c.finalPass}});
        return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    if (format == HistoryFormat::Csv) {
        out = "station,runs,passed,failed,unfinished,units,first_pass,first_pass_yield,final_pass,"
              "final_yield\r\n";
        for (const StationCounts& c : counts)
            out += csvField(c.station) + "," + std::to_string(c.runs) + "," +
                   std::to_string(c.passed) + "," + std::to_string(c.failed) + "," +
                   std::to_string(c.unfinished) + "," + std::to_string(c.units) + "," +
                   std::to_string(c.firstPass) + "," + yield(c) + "," +
                   std::to_string(c.finalPass) + "," + finalYield(c) + "\r\n";
        return out;
    }
    if (counts.empty())
        return "没有符合条件的记录\n";
    for (const StationCounts& c : counts)
        out += "测试台 " + convert::printable(c.station, false) + "：" + std::to_string(c.runs) +
               " 次，合格 " + std::to_string(c.passed) + "，不合格 " + std::to_string(c.failed) +
               "，未完成 " + std::to_string(c.unfinished) + "；" + std::to_string(c.units) +
               " 块板卡，一次合格率 " + yield(c) + "%，最终合格率 " + finalYield(c) + "%\n";
    return out;
}

std::string checkOutput(const std::vector<RecordedRun>& runs, HistoryFormat format,
                        long& disagreeing) {
    disagreeing = 0;
    std::string out = format == HistoryFormat::Csv ? "uuid,serial,started,check,why\r\n" : "";
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const RecordedRun& run : runs) {
        const TraceCheck check = checkTrace(run);
        disagreeing += check.verdict == TraceVerdict::Disagrees ? 1 : 0;
        const std::string name = convert::nameIn(kTraceVerdictNames, check.verdict);
        if (format == HistoryFormat::Json)
            list.push_back({{"uuid", run.uuid},
                            {"serial", run.serial},
                            {"started", run.started},
                            {"check", name},
                            {"why", check.why}});
        else if (format == HistoryFormat::Csv)
            out += csvField(run.uuid) + "," + csvField(run.serial) + "," + csvField(run.started) +
                   "," + name + "," + csvField(check.why) + "\r\n";
        else
            out += convert::printable(run.started, false) + "  " +
                   convert::printable(run.serial, false) + "  " +
                   convert::printable(run.uuid, false) + "  " +
                   convert::entryOf(kTraceVerdictNames, check.verdict).word +
                   (check.why.empty() ? "" : "：" + check.why) + "\n";
    }
    if (format == HistoryFormat::Json)
        return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    return format == HistoryFormat::Text && runs.empty() ? "没有符合条件的记录\n" : out;
}

std::string historyOutput(const std::vector<RecordedRun>& runs, HistoryFormat format) {
    switch (format) {
    case HistoryFormat::Csv:
        return csv(runs);
    case HistoryFormat::Json:
        return json(runs);
    case HistoryFormat::Text:
        break;
    }
    return text(runs);
}

} // namespace cli::records
