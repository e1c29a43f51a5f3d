#pragma once
// What the command line asks for, read and checked before anything touches
// the card: one value, the subcommand and its settings (each command's
// settings are declared beside the code that runs it).

#include "cli/commands.h"
#ifdef DIO_PLANT
#include "cli/collect/collector.h"
#endif
#include "cli/history/history_command.h"
#include "cli/serve/server.h"
#include "cli/watch/watch.h"
#include "core/runs/deliver.h"
#include "core/runs/run.h"
#include "core/selftest/on_card.h"

#include <string>
#include <variant>
#include <vector>

namespace cli {

struct HelpCommand {
    std::string text; // dio-cli --help, or a subcommand's
};
struct InfoCommand {};
struct SelftestCommand {
    SelftestSetup setup; // its progress bar left for the runner to decide
    SelftestOutput output;
};

#ifndef DIO_PLANT
struct CollectSetup {}; // the collector runs on Linux only
#endif

using Command =
    std::variant<HelpCommand, InfoCommand, GetSetup, SetSetup, WatchSetup, SelftestCommand,
                 ServeSetup, records::HistorySetup, DeliverySetup, CollectSetup>;

// The command the arguments (the program's name first) ask for. Throws
// UsageError naming what is wrong: then nothing has been sent, nor the driver
// loaded. A map file named is read here.
Command parseCommandLine(const std::vector<std::string>& arguments);

} // namespace cli
