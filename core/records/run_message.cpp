#include "run_message.h"

#include "convert/printable.h"
#include "convert/utf8.h"
#include "convert/uuid.h"
#include "core/base/errors.h"
#include "core/card/wiring.h"
#include "core/records/history_output.h"
#include "core/records/plan_steps.h"
#include "core/records/trace_check.h"
#include "driver/card_shape.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>
#include <string_view>

namespace cli::records {
namespace {

using Json = nlohmann::json;

// The stray bytes of text that is not UTF-8 as "\xNN".
std::string utf8Only(const std::string& text) {
    if (convert::validUtf8(text))
        return text;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const convert::Decoded c = convert::decodeUtf8(text, at);
        if (c.code < 0) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[at]));
            out += escape;
        } else {
            out.append(text, at, c.size);
        }
        at += c.size;
    }
    return out;
}

const Json& field(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end())
        throw NotARun(std::string("缺少“") + name + "”");
    return *found;
}

std::string text(const Json& object, const char* name, bool mayBeEmpty = true) {
    const Json& value = field(object, name);
    if (!value.is_string())
        throw NotARun(std::string("“") + name + "”不是字符串");
    std::string got = value.get<std::string>();
    if (!mayBeEmpty && got.empty())
        throw NotARun(std::string("“") + name + "”为空");
    if (convert::hasControl(got))
        throw NotARun(std::string("“") + name + "”里有控制字符：“" +
                      convert::printable(got, false) + "”");
    return got;
}

long long number(const Json& object, const char* name, long long most) {
    const Json& value = field(object, name);
    if (!value.is_number_integer() || value.get<long long>() < 0 || value.get<long long>() > most)
        throw NotARun(std::string("“") + name + "”不是 0 到 " + std::to_string(most) + " 的整数");
    return value.get<long long>();
}

// "2026-12-09T10:15:00.123Z", as the stations write their times: every digit
// in its place and a day that exists, so that the plant's store takes it.
std::string utcTime(const Json& object, const char* name) {
    std::string got = text(object, name);
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.dddZ";
    bool fits = got.size() == kShape.size();
    for (std::size_t i = 0; fits && i < kShape.size(); ++i)
        fits = kShape[i] == 'd' ? got[i] >= '0' && got[i] <= '9' : got[i] == kShape[i];
    auto number = [&](std::size_t at, std::size_t size) { return std::stoi(got.substr(at, size)); };
    if (fits) {
        const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        fits = year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1] &&
               number(11, 2) < 24 && number(14, 2) < 60 && number(17, 2) < 60;
    }
    if (!fits)
        throw NotARun(std::string("“") + name + "”不是 UTC 时间（如 2026-12-09T10:15:00.123Z）：“" +
                      convert::printable(got, false) + "”");
    return got;
}

template <typename E, std::size_t N>
E named(const std::string& name, const convert::Named<E> (&table)[N], const char* what) {
    if (const std::optional<E> value = convert::valueNamed(table, name))
        return *value;
    throw NotARun(std::string("不认识的") + what + "“" + convert::printable(name, false) + "”");
}

// Whether `text` is a list of channels as a station writes it ("1-16,20"):
// the card's channels, in the one form a station gives them.
bool isChannelRanges(const std::string& text) {
    try {
        return channelRanges(parseChannels(text)) == text;
    } catch (const UsageError&) {
        return false;
    }
}

selftest::Fault faultFrom(const Json& f) {
    using namespace selftest;
    if (!f.is_object())
        throw NotARun("故障不是对象");
    Fault fault{named(text(f, "kind"), kFaultKindNames, "故障种类"), {}};
    const Json& channels = field(f, "channels");
    if (!channels.is_array() || channels.empty())
        throw NotARun("故障的“channels”不是通道号的列表");
    for (const Json& c : channels) {
        if (!c.is_number_integer() || c.get<long long>() < 1 ||
            c.get<long long>() > card::kChannels)
            throw NotARun("故障的通道号不是 1 到 " + std::to_string(card::kChannels) + " 的整数");
        fault.channels.push_back(c.get<int>());
    }
    if (f.contains("wired"))
        fault.wired = named(text(f, "wired"), kWiredNames, "短路方式");
    if (f.contains("why"))
        fault.why = named(text(f, "why"), kWhyNames, "无法判断的原因");
    if (f.contains("flickers"))
        fault.flickers = static_cast<int>(number(f, "flickers", std::numeric_limits<int>::max()));
    return fault;
}

// A plan's run: a pass with every step passed, a fail with one failed.
void requireAsAPlanKeepsIt(const RecordedRun& run) {
    const bool anyFailed = std::any_of(run.steps.begin(), run.steps.end(), [](const auto& s) {
        return s.outcome == plan::Outcome::Failed;
    });
    const bool allPassed = std::all_of(run.steps.begin(), run.steps.end(), [](const auto& s) {
        return s.outcome == plan::Outcome::Passed;
    });
    if (run.status == RunStatus::Pass && (!allPassed || run.steps.empty()))
        throw NotARun("合格的计划却有没通过的步骤");
    if (run.status == RunStatus::Fail && !anyFailed)
        throw NotARun("不合格的计划却没有失败的步骤");
    if (run.ended < run.started)
        throw NotARun("结束早于开始");
}

// How many channels a fault of the kind names: at least, and at most.
std::pair<std::size_t, std::size_t> channelsOf(selftest::FaultKind kind) {
    using selftest::FaultKind;
    switch (kind) {
    case FaultKind::Stuck0:
    case FaultKind::Stuck1:
    case FaultKind::Intermittent:
        return {1, 1};
    case FaultKind::Crossed:
        return {2, 2};
    case FaultKind::Short:
        return {2, card::kChannels};
    case FaultKind::Undecided:
        break;
    }
    return {1, card::kChannels};
}

// A plan's run: its plan and steps (both or neither), the fixture and the
// repair overruled.
void readPlanOf(const Json& json, RecordedRun& run) {
    if (json.contains("suspect_fixture")) {
        const Json& suspect = field(json, "suspect_fixture");
        if (!suspect.is_boolean())
            throw NotARun("“suspect_fixture”不是 true 或 false");
        run.suspectFixture = suspect.get<bool>();
    }
    if (json.contains("overruled_by"))
        run.overruledBy = text(json, "overruled_by", false);
    if (!json.contains("plan") && !json.contains("steps"))
        return;
    const Json& plan = field(json, "plan");
    if (!plan.is_object())
        throw NotARun("“plan”不是对象");
    run.plan = plan::PlanIdentity{text(plan, "name", false), text(plan, "version", false),
                                  text(plan, "digest", false)};
    try {
        run.steps = stepsFromJson(field(json, "steps"));
    } catch (const NotARun&) {
        throw;
    } catch (const std::exception& e) { // a member missing or of another type
        throw NotARun(std::string("“steps”不对：") + e.what());
    }
    for (const plan::RecordedStep& step : run.steps) {
        bool control = convert::hasControl(step.name);
        for (const plan::Finding& f : step.findings)
            control = control || convert::hasControl(f.kind) || convert::hasControl(f.where);
        if (control)
            throw NotARun("步骤“" + convert::printable(step.name, false) + "”里有控制字符");
    }
}

// What any station keeps, with a trace or without (one of an older release):
// faults of the tested channels, each named once, as many as its kind names;
// a fail with faults, a pass or a stopped run without (a run whose reset
// failed after the whole test keeps its findings, which its trace gives);
// an end after its start.
void requireAsAStationKeepsIt(const RecordedRun& run) {
    if (run.plan)
        return requireAsAPlanKeepsIt(run);
    const std::vector<int> tested = parseChannels(run.channels);
    std::set<std::string> named;
    for (const selftest::Fault& fault : run.faults) {
        if (!named.insert(nlohmann::json(selftest::faultsJson({fault})).dump()).second)
            throw NotARun("同一个故障记了两次");
        const auto [fewest, most] = channelsOf(fault.kind);
        std::vector<int> sorted = fault.channels;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.size() < fewest || sorted.size() > most ||
            std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            throw NotARun("“" + selftest::nameOf(fault.kind) + "”故障的通道不对");
        if (!std::includes(tested.begin(), tested.end(), sorted.begin(), sorted.end()))
            throw NotARun("故障的通道不在所测的通道里");
    }
    if (run.status == RunStatus::Pass && !run.faults.empty())
        throw NotARun("合格的自检却带有故障");
    if (run.status == RunStatus::Fail && run.faults.empty())
        throw NotARun("不合格的自检却没有故障");
    if (run.status == RunStatus::Aborted && !run.faults.empty())
        throw NotARun("取消了的自检却带有故障");
    if ((run.status == RunStatus::Pass || run.status == RunStatus::Fail) && run.patterns == 0)
        throw NotARun("做完的自检却一个图样也没写");
    if (run.ended < run.started)
        throw NotARun("结束早于开始");
}

} // namespace

std::string runMessage(const RecordedRun& run) {
    RecordedRun sent = run;
    for (std::string* text : {&sent.serial, &sent.part, &sent.station, &sent.operatorName,
                              &sent.channels, &sent.reason})
        *text = utf8Only(*text);
    for (plan::RecordedStep& step : sent.steps) {
        step.name = utf8Only(step.name);
        for (plan::Finding& f : step.findings)
            f.where = utf8Only(f.where);
    }
    if (sent.plan)
        for (std::string* text : {&sent.plan->name, &sent.plan->version, &sent.overruledBy})
            *text = utf8Only(*text);
    nlohmann::ordered_json json = {{"version", kMessageVersion}};
    json.update(runJson(sent));
    json.erase("id"); // the station's own row, of no use elsewhere
    return json.dump();
}

RecordedRun runFromMessage(std::string_view message) {
    if (message.size() > kLargestRunMessage)
        throw NotARun("消息有 " + std::to_string(message.size()) + " 字节，大过任何一次自检");
    Json json;
    try {
        json = Json::parse(message);
    } catch (const Json::exception& e) {
        throw NotARun(std::string("不是 JSON：") + e.what());
    }
    if (!json.is_object())
        throw NotARun("不是 JSON 对象");
    const long long version =
        json.contains("version") ? number(json, "version", std::numeric_limits<int>::max()) : 1;
    if (version < 1 || version > kMessageVersion)
        throw NotARun("消息是第 " + std::to_string(version) + " 版，本程序只认到第 " +
                      std::to_string(kMessageVersion) + " 版：请先升级 dio-cli collect");
    RecordedRun run;
    run.uuid = text(json, "uuid");
    if (!convert::isUuid(run.uuid))
        throw NotARun("“uuid”不是 UUID：“" + convert::printable(run.uuid, false) + "”");
    run.serial = text(json, "serial", false);
    run.part = text(json, "part");
    run.station = text(json, "station", false);
    run.operatorName = text(json, "operator");
    run.started = utcTime(json, "started");
    run.ended = utcTime(json, "ended");
    run.settleMs = static_cast<long>(number(json, "settle_ms", 60000));
    run.channels = text(json, "channels");
    // A plan that only reads drives no channel.
    if (!isChannelRanges(run.channels) && !(run.channels.empty() && json.contains("plan")))
        throw NotARun("“channels”不是通道表（如 1-16,20）：“" +
                      convert::printable(run.channels, false) + "”");
    run.patterns = static_cast<long>(number(json, "patterns", std::numeric_limits<int>::max()));
    run.status = named(text(json, "status"), kRunStatusNames, "结果");
    run.reason = text(json, "reason");
    const Json& faults = field(json, "faults");
    if (!faults.is_array())
        throw NotARun("“faults”不是列表");
    for (const Json& f : faults)
        run.faults.push_back(faultFrom(f));
    readPlanOf(json, run);
    requireAsAStationKeepsIt(run);
    // A station of a release before traces were kept sends none; one that
    // sends it sends the readings its findings follow from.
    if (json.contains("codes") || json.contains("reads") || json.contains("trace")) {
        selftest::Trace trace;
        trace.codes = named(text(json, "codes"), selftest::kCodesNames, "图样的码");
        trace.reads = static_cast<int>(number(json, "reads", selftest::kMostReads));
        if (trace.reads < 2)
            throw NotARun("“reads”不是 2 到 " + std::to_string(selftest::kMostReads) + " 的整数");
        try {
            trace.patterns = selftest::patternsFromJson(field(json, "trace"),
                                                        parseChannels(run.channels).size());
        } catch (const std::invalid_argument& e) {
            throw NotARun(e.what());
        }
        run.trace = std::move(trace);
        if (const TraceCheck check = checkTrace(run); check.verdict == TraceVerdict::Disagrees)
            throw NotARun("读数与结论不符：" + check.why);
    } else if (run.status == RunStatus::Error && !run.faults.empty()) {
        throw NotARun("出错的自检带有故障，却没有读数说明它们");
    }
    return run;
}

} // namespace cli::records
