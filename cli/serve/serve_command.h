#pragma once

#include "cli/serve/server.h"
#include "cli/subcommand.h"

namespace cli {

template <> struct Subcommand<ServeSetup> {
    static constexpr const char* kName = "serve";
    static constexpr bool kUsesCard = true;
    static Finish<ServeSetup> declare(CLI::App& app);
    // Throws Interrupted at the end, as serveCard does.
    static ExitStatus run(const ServeSetup& setup, Card& card);
};

} // namespace cli
