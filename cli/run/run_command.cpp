#include "run_command.h"

#include "core/base/console.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"
#include "core/options/arguments.h"
#include "core/options/station_arguments.h"
#include "core/plan/plan_output.h"
#include "core/selftest/lock.h"
#include "core/selftest/report_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

namespace cli {
namespace {

struct RunArguments : StationArguments {
    std::string plan, report, junit, serial, retestOn, golden, overrulers;
    std::string retests = std::to_string(StationRules().retests);
    std::string fixtureRow = std::to_string(StationRules().fixtureRow);
    bool yes = false, json = false, overrule = false;
    CLI::Option* reportGiven = nullptr;
    CLI::Option* junitGiven = nullptr;
    CLI::Option* serialGiven = nullptr;
    CLI::Option* retestsGiven = nullptr;
    CLI::Option* retestOnGiven = nullptr;
};

// "a,b" as its items, each printable and not empty.
std::vector<std::string> items(const std::string& list, const std::string& option) {
    std::vector<std::string> found;
    std::istringstream parts(list);
    for (std::string item; std::getline(parts, item, ',');) {
        if (item.empty())
            throw UsageError(option + " 的“" + list + "”里有空项");
        requirePrintable(option, item);
        found.push_back(item);
    }
    return found;
}

// Refuses two of the files being one: a report written over the plan, or the
// JUnit file over the report, would lose one of them.
void requireApart(const std::vector<std::pair<const char*, std::optional<std::string>>>& files) {
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (!files[i].second || !files[j].second)
                continue;
            std::error_code unknown;
            const auto a = std::filesystem::u8path(*files[i].second);
            const auto b = std::filesystem::u8path(*files[j].second);
            if (*files[i].second == *files[j].second || std::filesystem::equivalent(a, b, unknown))
                throw UsageError(std::string(files[i].first) + " 和 " + files[j].first +
                                 " 是同一个文件（" + *files[i].second + "）");
        }
}

// The retest rule: the plan's, where it gives one, the options' over it.
StationRules stationRules(const RunArguments& given, const plan::Plan& plan) {
    StationRules rules;
    if (plan.retests)
        rules.retests = *plan.retests;
    if (plan.retestOn)
        rules.retestOn = {plan.retestOn->begin(), plan.retestOn->end()};
    if (*given.retestsGiven)
        rules.retests = static_cast<int>(parseNumber(given.retests, "--retests", 0, 100));
    if (*given.retestOnGiven) {
        rules.retestOn.clear();
        for (const std::string& kind : items(given.retestOn, "--retest-on")) {
            if (std::none_of(std::begin(plan::kFindingKinds), std::end(plan::kFindingKinds),
                             [&](const char* k) { return kind == k; }))
                throw UsageError("--retest-on 的“" + kind +
                                 "”不对：可用 not-met、intermittent、stuck-0、stuck-1、short、"
                                 "crossed、undecided");
            rules.retestOn.insert(kind);
        }
    }
    rules.fixtureRow = static_cast<int>(parseNumber(given.fixtureRow, "--fixture-row", 2, 100));
    for (const std::string& serial : items(given.golden, "--golden"))
        rules.golden.insert(serial);
    for (const std::string& name : items(given.overrulers, "--overrulers"))
        rules.overrulers.insert(name);
    return rules;
}

RunPlanSetup runSetup(const RunArguments& given) {
    if (!given.yes)
        throw UsageError("计划会驱动它所列的输出：确认可以时加上 --yes");
    if (*given.dbGiven && !*given.serialGiven)
        throw UsageError("--db 记下的是一个单元的运行：同时给出 --serial");
    if (*given.mqttGiven && !*given.serialGiven)
        throw UsageError("--mqtt 发布的是记下的运行：同时给出 --serial");
    if (*given.serialGiven && given.serial.empty())
        throw UsageError("--serial 不能为空");
    if (given.overrule && !*given.serialGiven)
        throw UsageError("--overrule 否决的是一个序列号的送修：同时给出 --serial");
    if (given.overrule && given.operatorName.empty())
        throw UsageError("--overrule 要记下是谁否决的：--operator 不能为空");
    requirePrintable("--serial", given.serial);
    requirePrintable("--part", given.part);
    requirePrintable("--station", given.station);
    requirePrintable("--operator", given.operatorName);
    auto file = [](CLI::Option* option, const std::string& name, const char* flag) {
        if (!*option)
            return std::optional<std::string>();
        if (name.empty() || name == "-")
            throw UsageError(std::string(flag) + " 要一个文件名（“" + name + "”不是）");
        return std::optional(name);
    };
    RunPlanSetup setup;
    setup.json = given.json;
    setup.report = file(given.reportGiven, given.report, "--report");
    setup.junit = file(given.junitGiven, given.junit, "--junit");
    setup.output = stationOutput(given);
    // As a scanner's trailing blank or tab would otherwise make another unit of it.
    const auto first = given.serial.find_first_not_of(" \t");
    setup.output.who.serial =
        first == std::string::npos
            ? std::string()
            : given.serial.substr(first, given.serial.find_last_not_of(" \t") - first + 1);
    if (*given.serialGiven && setup.output.who.serial.empty())
        throw UsageError("--serial 不能为空");
    requireApart({{"PLAN", given.plan}, {"--report", setup.report}, {"--junit", setup.junit}});
    setup.output.record = static_cast<bool>(*given.serialGiven);
    setup.plan = plan::readPlan(given.plan);
    setup.station.rules = stationRules(given, setup.plan);
    setup.station.overrule = given.overrule;
    return setup;
}

// The card can carry the plan: its inputs and every channel it drives.
void requireCardFor(Card& card, const plan::Plan& plan) {
    if (plan.inputWords() > 0)
        card.requireInputWords(plan.inputWords(), "计划的输入");
    if (const std::vector<int> used = plan.channels(); !used.empty())
        card.requireOutputChannel(used.back(), "计划：");
}

// What the records say of the unit after its run, in words, or "".
std::string verdictText(const KeptPlanRun& kept, const RunPlanSetup& setup) {
    if (kept.heldNow)
        return fixtureHeldText(kept.hold, setup.station.rules);
    if (kept.released)
        return "金样 " + kept.run.serial + " 合格：夹具已放行";
    if (!setup.output.record || kept.record.status != records::RunStatus::Fail)
        return "";
    const Admission& next = kept.next;
    if (next.verdict == Admission::Verdict::Retest)
        return "可复测（" + next.why + "）";
    return "送修：" + next.why;
}

} // namespace

Finish<RunPlanSetup> Subcommand<RunPlanSetup>::declare(CLI::App& app) {
    auto typed = std::make_shared<RunArguments>();
    CLI::App* run = subcommand(app, "run",
                               "按测试计划（TOML 文件）测试被测单元：逐步驱动输出、等待、核对输入，"
                               "或做环回自检；结束时计划驱动过的通道全部复位为 0");
    run->add_option("PLAN", typed->plan, "计划文件")->required()->type_name("FILE");
    run->add_flag("-y,--yes", typed->yes, "确认可以驱动计划所列的输出（必需）");
    run->add_flag("-j,--json", typed->json, "以 JSON 输出结果");
    typed->reportGiven = run->add_option("-r,--report", typed->report, "另把 JSON 结果写入此文件")
                             ->type_name("FILE");
    typed->junitGiven =
        run->add_option("--junit", typed->junit, "另把结果写成 JUnit XML（每步一个测试用例）")
            ->type_name("FILE");
    typed->serialGiven =
        run->add_option("--serial", typed->serial,
                        "被测单元的序列号：给了就把这次运行记入记录库，并按记录判定复测和送修")
            ->type_name("SN");
    declareWhoOptions(*run, *typed);
    typed->retestsGiven =
        defaulted(run->add_option("--retests", typed->retests,
                                  "不合格的单元还可复测几次（只限其发现都属 --retest-on 的种类；"
                                  "给了此项就不用计划的 [retest]）"),
                  "N");
    typed->retestOnGiven = run->add_option("--retest-on", typed->retestOn,
                                           "可复测的发现种类，默认 intermittent,undecided")
                               ->type_name("KINDS");
    defaulted(run->add_option("--fixture-row", typed->fixtureRow,
                              "同一发现接连出现在这么多不同的序列号上，测试台就暂停，疑为夹具"),
              "N");
    run->add_option("--golden", typed->golden, "已知良好的金样序列号：其合格运行放行暂停的测试台")
        ->type_name("SN,...");
    run->add_option("--overrulers", typed->overrulers, "可否决送修判定的操作员")
        ->type_name("NAME,...");
    run->add_flag("--overrule", typed->overrule,
                  "否决送修的判定，重测此序列号（操作员须在 --overrulers 里；记下是谁）");
    return [typed] { return runSetup(*typed); };
}

ExitStatus Subcommand<RunPlanSetup>::run(const RunPlanSetup& setup, Card& card) {
    // Before any line is driven: the card to ourselves, able to carry the
    // plan, the unit admitted, and the files' folders.
    const SelftestLock lock(card.id());
    requireCardFor(card, setup.plan);
    std::optional<RecordFailed> notRead;
    const Admission admission = admitUnit(setup.output, setup.station, notRead);
    std::optional<ReportFile> report, junit;
    if (setup.report)
        report.emplace(*setup.report);
    if (setup.junit)
        junit.emplace(*setup.junit);
    catchInterrupts();
    plan::RunOptions options;
    if (!setup.json) {
        write(Stream::Out, "计划“" + setup.plan.name + "”版本 " + setup.plan.version + "\n");
        if (admission.verdict == Admission::Verdict::Retest)
            write(Stream::Out, "复测（上次：" + admission.why + "）\n");
        if (admission.verdict == Admission::Verdict::ToRepair)
            write(Stream::Out, "送修的判定由 " + setup.output.who.operatorName + " 否决，重测\n");
        options.onStep = [&](const plan::StepResult& step) {
            if (step.outcome != plan::Outcome::Skipped)
                write(Stream::Out, "  " + plan::stepLine(setup.plan, step) + "\n");
        };
    }
    const KeptPlanRun kept =
        runPlanAndKeep(card, setup.plan, setup.output, setup.station, admission, options);
    const plan::PlanResult& result = kept.result;
    nlohmann::ordered_json json = plan::resultJson(setup.plan, result);
    const std::string verdict = verdictText(kept, setup);
    if (!verdict.empty())
        json["station"] = verdict;
    std::optional<Failure> failed;
    commitIfAsked(report, json.dump(2) + "\n", failed);
    commitIfAsked(junit, plan::junitXml(setup.plan, result, kept.run), failed);
    if (setup.json) {
        write(Stream::Out, json.dump(2) + "\n");
    } else {
        std::string rest;
        for (const plan::StepResult& step : result.steps)
            if (step.outcome == plan::Outcome::Skipped)
                rest += "  " + plan::stepLine(setup.plan, step) + "\n";
        const std::string text = plan::resultText(setup.plan, result);
        write(Stream::Out,
              rest + text.substr(text.rfind("结论")) + (verdict.empty() ? "" : verdict + "\n"));
    }
    std::optional<Failure> first;
    if (interrupted())
        first = Interrupted(stopSignal());
    keepFirst(first, kept.notReset);
    keepFirst(first, notRead);
    if (kept.notRecorded)
        keepFirst(first, RecordFailed(notRecordedText(*kept.notRecorded)));
    keepFirst(first, kept.notPublished);
    keepFirst(first, failed);
    if (kept.heldNow)
        keepFirst(first, FixtureHeld(verdict));
    if (first)
        throw *first;
    return result.passed() ? ExitStatus::Ok : ExitStatus::FaultsFound;
}

} // namespace cli
