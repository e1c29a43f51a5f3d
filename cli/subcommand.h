#pragma once
// A dio-cli subcommand's row, as git's command table has one: its name, its
// options declared and then checked into its settings, whether it runs on
// the card, and its run. Each is specialised beside its subcommand's
// settings; the command line (command_line.h) lists the settings once.

#include "core/base/exit_status.h"
#include "core/options/option_forms.h"

#include <CLI/CLI.hpp>

#include <functional>

namespace cli {

class Card;

// template <> struct Subcommand<Setup> {
//     static constexpr const char* kName;
//     static constexpr bool kUsesCard;    // the driver loaded for it, and only then
//     static Finish<Setup> declare(CLI::App& app);
//     static ExitStatus run(const Setup& setup[, Card& card]);
// };
template <typename Setup> struct Subcommand;

// After the parse: the subcommand's settings, checked (UsageError naming what
// is wrong, before anything is sent).
template <typename Setup> using Finish = std::function<Setup()>;

// The subcommand's entry in dio-cli's help, with its own help flag.
inline CLI::App* subcommand(CLI::App& app, const char* name, const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->group("子命令");
    command->set_help_flag("-h,--help", "显示帮助")->group("选项");
    return command;
}

} // namespace cli
