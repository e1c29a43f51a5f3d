// dio-cli: the card from the command line, on the panel's driver binding.
// Its exit statuses: core/base/exit_status.h.
#include "cli/command_line.h"
#include "convert/printable.h"
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/card/card.h"
#include "driver/dlldef.h"
#include "driver/driver_error.h"

#include <optional>
#include <type_traits>
#include <variant>

namespace {

using namespace cli;

ExitStatus run(const std::vector<std::string>& arguments) {
    Command command = parseCommandLine(arguments);
    // The driver is loaded for the subcommands that use the card, and only then.
    std::optional<driver::DllDef> dll;
    std::optional<Card> card;
    return std::visit(
        [&](const auto& setup) -> ExitStatus {
            using Setup = std::decay_t<decltype(setup)>;
            if constexpr (std::is_same_v<Setup, HelpCommand>) {
                write(Stream::Out, setup.text);
                return ExitStatus::Ok;
            } else if constexpr (Subcommand<Setup>::kUsesCard) {
                return Subcommand<Setup>::run(setup, card.emplace(dll.emplace()));
            } else {
                return Subcommand<Setup>::run(setup);
            }
        },
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
        if (e.said())
            return e.exitStatus();
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
