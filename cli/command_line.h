#pragma once
// What the command line asks for, read and checked before anything touches
// the card: one value, the help or a subcommand's settings. The subcommands
// are listed here once, in the order the help shows them; each one's row
// (cli/subcommand.h) is beside its settings.

#include "cli/card_commands.h"
#include "cli/history/history_command.h"
#include "cli/publish_command.h"
#include "cli/run/run_command.h"
#include "cli/selftest_command.h"
#include "cli/serve/serve_command.h"
#include "cli/watch/watch_command.h"

#include <string>
#include <variant>
#include <vector>

// The plant's subcommands, where dio-cli is built with its store (Linux).
#ifdef DIO_PLANT
#include "cli/collect/collect_command.h"
#define DIO_PLANT_COMMANDS , CollectSetup
#else
#define DIO_PLANT_COMMANDS
#endif

namespace cli {

struct HelpCommand {
    std::string text; // dio-cli --help, or a subcommand's
};

using Command =
    std::variant<HelpCommand, InfoCommand, GetSetup, SetSetup, WatchSetup, SelftestCommand,
                 RunPlanSetup, ServeSetup, records::HistorySetup, DeliverySetup DIO_PLANT_COMMANDS>;

// The command the arguments (the program's name first) ask for. Throws
// UsageError naming what is wrong: then nothing has been sent, nor the driver
// loaded. A map file named is read here.
Command parseCommandLine(const std::vector<std::string>& arguments);

} // namespace cli
