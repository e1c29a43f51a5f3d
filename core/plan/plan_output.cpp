#include "plan_output.h"

#include "core/base/timestamp.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace cli::plan {
namespace {

// Where a finding on an input is: its name, the card's input word and bit
// (the same pin whichever plan names it), and the value it should have had.
std::string inputWhere(const Plan& plan, const Mismatch& m) {
    const Input& in = plan.inputs[m.input];
    return in.name + "(" + std::to_string(in.bit.word) + "." + std::to_string(in.bit.bit) +
           ")=" + std::to_string(m.expected);
}

std::string ms(std::chrono::milliseconds duration) {
    return std::to_string(duration.count()) + " ms";
}

} // namespace

std::string passName(const Plan& plan, const StepResult& step) {
    const Step& s = plan.steps[step.step];
    if (s.repeat == 1 || step.outcome == Outcome::Skipped) // a step not run is not run at all
        return s.name;
    return s.name + "（第 " + std::to_string(step.pass) + "/" + std::to_string(s.repeat) + " 次）";
}

std::string findingText(const Plan& plan, const StepResult& step) {
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "；") + part; };
    if (step.selftest)
        for (const std::string& fault : selftest::faultTexts(*step.selftest))
            add(fault);
    for (const Mismatch& m : step.mismatches)
        add(plan.inputs[m.input].name + " 应为 " + std::to_string(m.expected) +
            (m.unsteady ? "，两次读到的不同（时通时断）" : "，读到 " + std::to_string(m.read)));
    const Step& s = plan.steps[step.step];
    if (s.within && step.outcome == Outcome::Failed && step.mismatches.empty())
        add("超过了限时");
    else if (s.within && step.outcome == Outcome::Failed)
        add(ms(*s.within) + " 内没有等到");
    return text;
}

std::string stepLine(const Plan& plan, const StepResult& step) {
    const Step& s = plan.steps[step.step];
    std::string line = "[" + std::string(convert::entryOf(kOutcomeNames, step.outcome).word) +
                       "] " + passName(plan, step);
    if (step.measured)
        line += "：" + ms(*step.measured) + "（限 " + ms(*s.within) + "）";
    if (const std::string finding = findingText(plan, step); !finding.empty())
        line += "：" + finding;
    return line;
}

std::string resultText(const Plan& plan, const PlanResult& result) {
    std::string text = "计划“" + plan.name + "”版本 " + plan.version + "\n";
    int failed = 0, skipped = 0;
    for (const StepResult& step : result.steps) {
        text += "  " + stepLine(plan, step) + "\n";
        failed += step.outcome == Outcome::Failed;
        skipped += step.outcome == Outcome::Skipped;
    }
    if (result.passed())
        return text + "结论：合格\n";
    return text + "结论：不合格（" + std::to_string(failed) + " 项失败" +
           (skipped ? "，" + std::to_string(skipped) + " 步未运行" : "") + "）\n";
}

std::vector<RecordedStep> recordedSteps(const Plan& plan, const std::vector<StepResult>& steps) {
    std::vector<RecordedStep> kept;
    for (const StepResult& step : steps) {
        const Step& s = plan.steps[step.step];
        RecordedStep r;
        r.name = s.name;
        r.pass = step.pass;
        r.outcome = step.outcome;
        if (step.measured)
            r.measuredMs = static_cast<long>(step.measured->count());
        if (s.within)
            r.limitMs = static_cast<long>(s.within->count());
        if (step.selftest)
            for (const selftest::Fault& f : step.selftest->faults)
                r.findings.push_back({selftest::nameOf(f.kind), selftest::joined(f.channels, ",")});
        for (const Mismatch& m : step.mismatches)
            r.findings.push_back({m.unsteady ? "intermittent" : "not-met", inputWhere(plan, m)});
        if (s.within && step.outcome == Outcome::Failed && step.mismatches.empty())
            for (const Expectation& e : s.expect) // met, but over the limit
                r.findings.push_back(
                    {"not-met", inputWhere(plan, {e.input, e.value, !e.value, false})});
        kept.push_back(std::move(r));
    }
    return kept;
}

nlohmann::ordered_json resultJson(const Plan& plan, const PlanResult& result) {
    nlohmann::ordered_json steps = nlohmann::ordered_json::array();
    for (const StepResult& step : result.steps) {
        const Step& s = plan.steps[step.step];
        nlohmann::ordered_json one = {{"name", s.name},
                                      {"pass", step.pass},
                                      {"outcome", convert::nameIn(kOutcomeNames, step.outcome)}};
        if (s.within) {
            one["limit_ms"] = s.within->count();
            one["measured_ms"] = step.measured ? nlohmann::ordered_json(step.measured->count())
                                               : nlohmann::ordered_json(nullptr);
        }
        nlohmann::ordered_json mismatches = nlohmann::ordered_json::array();
        for (const Mismatch& m : step.mismatches)
            mismatches.push_back({{"input", plan.inputs[m.input].name},
                                  {"expected", m.expected ? 1 : 0},
                                  {"read", m.read ? 1 : 0},
                                  {"unsteady", m.unsteady}});
        if (!s.selftest.empty())
            one["faults"] = step.selftest ? selftest::faultsJson(step.selftest->faults)
                                          : nlohmann::ordered_json(nullptr);
        else
            one["mismatches"] = std::move(mismatches);
        steps.push_back(std::move(one));
    }
    return {{"plan", {{"name", plan.name}, {"version", plan.version}, {"digest", plan.digest}}},
            {"passed", result.passed()},
            {"steps", std::move(steps)}};
}

std::string junitXml(const Plan& plan, const PlanResult& result, const selftest::Run& run) {
    using selftest::xmlEscaped;
    int failures = 0, skipped = 0;
    for (const StepResult& step : result.steps) {
        failures += step.outcome == Outcome::Failed;
        skipped += step.outcome == Outcome::Skipped;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", run.duration.count());
    const std::string suite = run.serial.empty() ? plan.name : run.serial;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n"
                      "  <testsuite name=\"" +
                      xmlEscaped(suite) + "\" tests=\"" + std::to_string(result.steps.size()) +
                      "\" failures=\"" + std::to_string(failures) + "\" errors=\"0\" skipped=\"" +
                      std::to_string(skipped) + "\" timestamp=\"" +
                      xmlEscaped(isoTimestamp(run.start, true)) + "\" time=\"" + seconds +
                      "\" hostname=\"" + xmlEscaped(run.station) + "\">\n    <properties>\n";
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"plan", plan.name},
                                     {"plan-version", plan.version},
                                     {"plan-digest", plan.digest},
                                     {"part", run.part},
                                     {"station", run.station},
                                     {"operator", run.operatorName}})
        xml += "      <property name=\"" + std::string(key) + "\" value=\"" + xmlEscaped(value) +
               "\"/>\n";
    xml += "    </properties>\n";
    for (const StepResult& step : result.steps) {
        const double taken = step.measured ? step.measured->count() / 1000.0 : 0;
        std::snprintf(seconds, sizeof seconds, "%.3f", taken);
        xml += "    <testcase classname=\"" + xmlEscaped(plan.name) + "\" name=\"" +
               xmlEscaped(passName(plan, step)) + "\" time=\"" + seconds + "\"";
        if (step.outcome == Outcome::Passed) {
            xml += "/>\n";
            continue;
        }
        const std::string message =
            step.outcome == Outcome::Skipped ? "前面的步骤失败，计划停止" : findingText(plan, step);
        xml += step.outcome == Outcome::Skipped
                   ? ">\n      <skipped message=\"" + xmlEscaped(message) + "\"/>\n"
                   : ">\n      <failure message=\"" + xmlEscaped(message) + "\">" +
                         xmlEscaped(message) + "</failure>\n";
        xml += "    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

} // namespace cli::plan
