#include "selftest_command.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/options/station_arguments.h"

namespace cli {
namespace {

// What selftest's options say, as given.
struct SelftestArguments : StationArguments {
    bool yes = false, json = false;
    std::string report, junit, serial;
    CLI::Option* reportGiven = nullptr;
    CLI::Option* junitGiven = nullptr;
    CLI::Option* serialGiven = nullptr;
};

// The run's settings, checked.
SelftestCommand selftestCommand(const SelftestArguments& given) {
    if (!given.yes)
        throw UsageError("自检会驱动所测的每个输出：确认可以时加上 --yes");
    if (*given.dbGiven && !*given.serialGiven)
        throw UsageError("--db 记下的是一块板卡的自检：同时给出 --serial");
    if (*given.serialGiven && given.serial.empty())
        throw UsageError("--serial 不能为空");
    requirePrintable("--serial", given.serial);
    if (*given.reportGiven && (given.report.empty() || given.report == "-"))
        throw UsageError("--report 要一个文件名（“" + given.report +
                         "”不是；要把报告写到标准输出，用 --json）");
    auto file = [](CLI::Option* option, const std::string& name) {
        return *option ? std::optional(name) : std::nullopt;
    };
    SelftestOutput output = stationOutput(given);
    output.json = given.json;
    output.report = file(given.reportGiven, given.report);
    output.junit = file(given.junitGiven, given.junit);
    output.who.serial = given.serial;
    output.record = static_cast<bool>(*given.serialGiven);
    return SelftestCommand{stationSetup(given), std::move(output)};
}

} // namespace

Finish<SelftestCommand> Subcommand<SelftestCommand>::declare(CLI::App& app) {
    auto typed = std::make_shared<SelftestArguments>();
    CLI::App* selftest =
        subcommand(app, "selftest",
                   "环回自检：输出经接线回到输入，找出固定为 0 或 1（开路或被钳住）、"
                   "短路（线与、线或）和交叉的通道。会驱动所测的每个输出，结束时全部复位为 0");
    selftest->add_flag("-y,--yes", typed->yes, "确认可以驱动所有输出（必需）");
    selftest->add_flag("-j,--json", typed->json, "以 JSON 输出报告");
    typed->reportGiven = selftest
                             ->add_option("-r,--report", typed->report,
                                          "另把 JSON 报告写入此文件（写完才换掉旧文件）")
                             ->type_name("FILE");
    typed->junitGiven =
        selftest
            ->add_option("--junit", typed->junit, "另把结果写成 JUnit XML（每条通道一个测试用例）")
            ->type_name("FILE");
    typed->serialGiven =
        selftest
            ->add_option("--serial", typed->serial,
                         "所测板卡的序列号：给了就把这次自检记入记录库（dio-cli history 查看）")
            ->type_name("SN");
    declareStationOptions(*selftest, *typed);
    return [typed] { return selftestCommand(*typed); };
}

ExitStatus Subcommand<SelftestCommand>::run(const SelftestCommand& selftest, Card& card) {
    SelftestSetup setup = selftest.setup;
    setup.progress = isTerminal(Stream::Err);
    return runSelftest(card, setup, selftest.output);
}

} // namespace cli
