#pragma once
// What the command line asks for, read and checked before anything touches
// the card: one value, the subcommand and its settings.

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/records/history_output.h"
#include "cli/records/store.h"
#include "cli/selftest/on_card.h"
#include "cli/serve/server.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cli {

struct HelpCommand {
    std::string text; // dio-cli --help, or a subcommand's
};
struct InfoCommand {};
struct GetCommand {
    int words;
    GetFormat format;
};
struct SetCommand {
    bool bytes; // whole groups (Zan_DO), else single lines (Zan_DOBit)
    std::vector<BitSetting> bits;
    std::vector<ByteSetting> groups;
};
struct WatchCommand {
    WatchSetup setup;
};
struct ServeCommand {
    ServeSetup setup;
};
struct SelftestCommand {
    SelftestSetup setup; // its progress bar left for the runner to decide
    SelftestOutput output;
};

struct HistoryCommand {
    records::HistoryFilter filter;
    records::HistoryFormat format = records::HistoryFormat::Text;
    bool stats = false;            // per channel, how often found faulty
    std::optional<std::string> db; // none: the user's default
};

using Command = std::variant<HelpCommand, InfoCommand, GetCommand, SetCommand, WatchCommand,
                             SelftestCommand, ServeCommand, HistoryCommand>;

// The command the arguments (the program's name first) ask for. Throws
// UsageError naming what is wrong: then nothing has been sent, nor the driver
// loaded. A map file named is read here.
Command parseCommandLine(const std::vector<std::string>& arguments);

} // namespace cli
