// dio-cli: the card from the command line, on the panel's driver binding.
// Exit status: 0 all well, 1 faults found (selftest), 2 a usage error, 3 the
// driver missing, not loadable or lacking an entry point, 4 a driver call
// failed, 5 an output (standard output or error, a report file) could not be
// written, 6 the self-test's record could not be kept (or the records read),
// 7 the result could not be published to the broker, 128 + N ended by signal N (130 for Ctrl-C)
// once the self-test's lines were set back to 0.
#include "cli/card.h"
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/errors.h"
#include "convert/printable.h"
#include "driver/dlldef.h"
#include "driver/driver_error.h"

#include <variant>

namespace {

using namespace cli;

template <typename... Handlers> struct Dispatch : Handlers... { using Handlers::operator()...; };
template <typename... Handlers> Dispatch(Handlers...) -> Dispatch<Handlers...>;

int run(const std::vector<std::string>& arguments) {
    Command command = parseCommandLine(arguments);
    if (const auto* help = std::get_if<HelpCommand>(&command)) {
        write(Stream::Out, help->text);
        return 0;
    }
    if (const auto* history = std::get_if<HistoryCommand>(&command))
        return showHistory(history->filter, history->format, history->stats, history->db);
    driver::DllDef dll;
    Card card(dll);
    return std::visit(
        Dispatch{[](const HelpCommand&) { return 0; }, [](const HistoryCommand&) { return 0; },
                 [&](const InfoCommand&) { return showInfo(card); },
                 [&](const GetCommand& get) { return showInputs(card, get.words, get.format); },
                 [&](const SetCommand& set) {
                     return set.bytes ? setBytes(card, set.groups) : setBits(card, set.bits);
                 },
                 [&](const WatchCommand& watch) { return cli::watch(card, watch.setup); },
                 [&](const ServeCommand& serve) { return serveCard(card, serve.setup); },
                 [&](SelftestCommand& selftest) {
                     selftest.setup.progress = isTerminal(Stream::Err);
                     return runSelftest(card, selftest.setup, selftest.output);
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
        return run(arguments(argc, argv));
    } catch (const UsageError& e) {
        return fail(2,
                    std::string(e.what()) + "\n（dio-cli --help 或 dio-cli 子命令 --help 看用法）");
    } catch (const driver::DriverError& e) {
        return fail(3, e.what());
    } catch (const DriverCallFailed& e) {
        return fail(4, e.told());
    } catch (const Interrupted& e) {
        return fail(128 + e.signal(), e.told());
    } catch (const RecordFailed& e) {
        return fail(6, e.told());
    } catch (const PublishFailed& e) {
        return fail(7, e.told());
    } catch (const OutputFailed& e) {
        // A reader that went away (SIGPIPE) ends it as that signal would have.
        return fail(interrupted() ? 128 + stopSignal() : 5, e.told());
    } catch (const std::exception& e) {
        return fail(70, std::string("意外的错误：") + e.what());
    }
}
