#include "run_command.h"

#include "core/base/console.h"
#include "core/base/interrupts.h"
#include "core/card/card.h"
#include "core/options/station_arguments.h"
#include "core/plan/plan_output.h"
#include "core/selftest/lock.h"
#include "core/selftest/report_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>

namespace cli {
namespace {

struct RunArguments {
    std::string plan, report, junit, serial;
    bool yes = false, json = false;
    CLI::Option* reportGiven = nullptr;
    CLI::Option* junitGiven = nullptr;
};

RunPlanSetup runSetup(const RunArguments& given) {
    if (!given.yes)
        throw UsageError("计划会驱动它所列的输出：确认可以时加上 --yes");
    requirePrintable("--serial", given.serial);
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
    setup.serial = given.serial;
    setup.plan = plan::readPlan(given.plan);
    return setup;
}

// The card can carry the plan: its inputs and every channel it drives.
void requireCardFor(Card& card, const plan::Plan& plan) {
    if (plan.inputWords() > 0)
        card.requireInputWords(plan.inputWords(), "计划的输入");
    int highest = 0;
    for (const plan::Step& step : plan.steps) {
        for (const auto& [channel, value] : step.drive)
            highest = std::max(highest, channel);
        for (int channel : step.selftest)
            highest = std::max(highest, channel);
    }
    if (highest > 0)
        card.requireOutputChannel(highest, "计划：");
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
    run->add_option("--serial", typed->serial, "被测单元的序列号（JUnit 的测试套件名）")
        ->type_name("SN");
    return [typed] { return runSetup(*typed); };
}

ExitStatus Subcommand<RunPlanSetup>::run(const RunPlanSetup& setup, Card& card) {
    // Before any line is driven: the card to ourselves, able to carry the
    // plan, and the files' folders.
    const SelftestLock lock(card.id());
    requireCardFor(card, setup.plan);
    std::optional<ReportFile> report, junit;
    if (setup.report)
        report.emplace(*setup.report);
    if (setup.junit)
        junit.emplace(*setup.junit);
    catchInterrupts();
    selftest::Run run;
    run.serial = setup.serial;
    run.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    plan::RunOptions options;
    const bool live = !setup.json;
    if (live) {
        write(Stream::Out, "计划“" + setup.plan.name + "”版本 " + setup.plan.version + "\n");
        options.onStep = [&](const plan::StepResult& step) {
            if (step.outcome != plan::Outcome::Skipped)
                write(Stream::Out, "  " + plan::stepLine(setup.plan, step) + "\n");
        };
    }
    std::optional<DriverCallFailed> notReset;
    plan::PlanResult result;
    try {
        result = plan::runPlan(card, setup.plan, options);
    } catch (const plan::PlanNotReset& e) {
        result = e.result;
        notReset = e;
    }
    run.duration = std::chrono::steady_clock::now() - began;
    const std::string json = plan::resultJson(setup.plan, result).dump(2);
    std::optional<Failure> failed;
    auto commit = [&](std::optional<ReportFile>& file, const std::string& text) {
        try {
            if (file)
                file->commit(text);
        } catch (const OutputFailed& e) {
            keepFirst(failed, e);
        }
    };
    commit(report, json + "\n");
    commit(junit, plan::junitXml(setup.plan, result, run));
    if (setup.json) {
        write(Stream::Out, json + "\n");
    } else {
        std::string rest;
        for (const plan::StepResult& step : result.steps)
            if (step.outcome == plan::Outcome::Skipped)
                rest += "  " + plan::stepLine(setup.plan, step) + "\n";
        const std::string text = plan::resultText(setup.plan, result);
        write(Stream::Out, rest + text.substr(text.rfind("结论")));
    }
    std::optional<Failure> first = notReset ? std::optional<Failure>(*notReset) : std::nullopt;
    keepFirst(first, failed);
    if (first)
        throw *first;
    return result.passed() ? ExitStatus::Ok : ExitStatus::FaultsFound;
}

} // namespace cli
