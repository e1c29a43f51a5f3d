// dio-cli: the card from the command line, on the panel's driver binding.
// Its exit statuses: core/base/exit_status.h.
#include "cli/command_line.h"
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/card/card.h"
#ifdef DIO_PLANT
#include "cli/history/plant_history.h"
#endif
#include "convert/printable.h"
#include "driver/dlldef.h"
#include "driver/driver_error.h"

#include <optional>
#include <variant>

namespace {

using namespace cli;

template <typename... Handlers> struct Dispatch : Handlers... { using Handlers::operator()...; };
template <typename... Handlers> Dispatch(Handlers...) -> Dispatch<Handlers...>;

// dio-cli publish --pending: what the plant does not have yet, sent again.
ExitStatus publishPending(const DeliverySetup& setup) {
    const Delivery done = deliverAllPending(setup);
    say("发送 " + std::to_string(done.sent) + " 次自检，工厂的库确认收到 " +
        std::to_string(done.confirmed) + " 次，仍待确认 " + std::to_string(done.left) + " 次");
    if (done.left > 0)
        throw PublishFailed("还有 " + std::to_string(done.left) +
                            " 次自检工厂的库没有确认收到（收集程序在运行吗？）：稍后再发");
    return ExitStatus::Ok;
}

ExitStatus run(const std::vector<std::string>& arguments) {
    // The driver is loaded for the commands that use the card, and only then.
    std::optional<driver::DllDef> dll;
    std::optional<Card> card;
    auto theCard = [&]() -> Card& {
        if (!card)
            card.emplace(dll.emplace());
        return *card;
    };
    Command command = parseCommandLine(arguments);
    return std::visit(
        Dispatch{[](const HelpCommand& help) {
                     write(Stream::Out, help.text);
                     return ExitStatus::Ok;
                 },
                 [](const records::HistorySetup& setup) {
#ifdef DIO_PLANT
                     if (setup.db && records::isPlantStore(*setup.db)) {
                         plant::showPlantHistory(setup);
                         return ExitStatus::Ok;
                     }
#endif
                     records::showHistory(setup);
                     return ExitStatus::Ok;
                 },
                 [](const DeliverySetup& setup) { return publishPending(setup); },
                 [](const CollectSetup& setup) -> ExitStatus {
#ifdef DIO_PLANT
                     collect(setup);
#else
                     (void)setup;
                     throw UsageError("收集程序只在 Linux 上运行");
#endif
                 },
                 [&](const InfoCommand&) {
                     showInfo(theCard());
                     return ExitStatus::Ok;
                 },
                 [&](const GetSetup& setup) {
                     showInputs(theCard(), setup);
                     return ExitStatus::Ok;
                 },
                 [&](const SetSetup& setup) {
                     setOutputs(theCard(), setup);
                     return ExitStatus::Ok;
                 },
                 [&](const WatchSetup& setup) {
                     watch(theCard(), setup);
                     return ExitStatus::Ok;
                 },
                 [&](const ServeSetup& setup) -> ExitStatus { serveCard(theCard(), setup); },
                 [&](SelftestCommand& selftest) {
                     selftest.setup.progress = isTerminal(Stream::Err);
                     return runSelftest(theCard(), selftest.setup, selftest.output);
                 }},
        command);
}

} // namespace

int main(int argc, char** argv) {
    // Before anything loads a library.
    driver::lockLibrarySearch();
    auto fail = [](int status, const std::string& message) {
        try {
            // Not waited on for long: a standard error nobody reads keeps no one from ending.
            writeWithin(Stream::Err, "dio-cli：" + convert::printable(message) + "\n",
                        std::chrono::milliseconds(500));
        } catch (const OutputFailed&) {
            // The standard error is where this would be said: the status says it.
        }
        return status;
    };
    try {
        return code(run(arguments(argc, argv)));
    } catch (const Failure& e) {
        return fail(e.exitStatus(),
                    e.told() + (e.exitStatus() == code(ExitStatus::Usage)
                                    ? "\n（dio-cli --help 或 dio-cli 子命令 --help 看用法）"
                                    : ""));
    } catch (const driver::DriverError& e) {
        return fail(code(ExitStatus::DriverMissing), e.what());
    } catch (const std::exception& e) {
        return fail(code(ExitStatus::Unexpected), std::string("意外的错误：") + e.what());
    }
}
