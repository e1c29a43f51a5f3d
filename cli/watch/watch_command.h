#pragma once

#include "cli/subcommand.h"
#include "cli/watch/watch.h"

namespace cli {

template <> struct Subcommand<WatchSetup> {
    static constexpr const char* kName = "watch";
    static constexpr bool kUsesCard = true;
    static Finish<WatchSetup> declare(CLI::App& app);
    static ExitStatus run(const WatchSetup& setup, Card& card);
};

} // namespace cli
