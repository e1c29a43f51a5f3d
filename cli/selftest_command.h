#pragma once
// dio-cli selftest: the loopback self-test on the card, as a station runs it.

#include "cli/subcommand.h"
#include "core/runs/run.h"
#include "core/selftest/on_card.h"

namespace cli {

struct SelftestCommand {
    SelftestSetup setup; // its progress bar left for the run to decide
    SelftestOutput output;
};

template <> struct Subcommand<SelftestCommand> {
    static constexpr const char* kName = "selftest";
    static constexpr bool kUsesCard = true;
    static Finish<SelftestCommand> declare(CLI::App& app);
    static ExitStatus run(const SelftestCommand& selftest, Card& card);
};

} // namespace cli
