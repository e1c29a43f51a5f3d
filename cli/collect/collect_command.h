#pragma once

#include "cli/collect/collector.h"
#include "cli/subcommand.h"

namespace cli {

template <> struct Subcommand<CollectSetup> {
    static constexpr const char* kName = "collect";
    static constexpr bool kUsesCard = false;
    static Finish<CollectSetup> declare(CLI::App& app);
    // Throws Interrupted at the end, as collect does.
    static ExitStatus run(const CollectSetup& setup);
};

} // namespace cli
