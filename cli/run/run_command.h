#pragma once
// dio-cli run PLAN: a unit's test plan on the card, step by step.

#include "cli/subcommand.h"
#include "core/plan/plan.h"
#include "core/runs/plan_kept.h"

#include <optional>
#include <string>

namespace cli {

struct RunPlanSetup {
    plan::Plan plan; // read and checked with the command line
    bool json = false;
    std::optional<std::string> report, junit;
    SelftestOutput output; // who and where; kept where a serial is given
    PlanStation station;   // the retest rule and the fixture's hold
};

template <> struct Subcommand<RunPlanSetup> {
    static constexpr const char* kName = "run";
    static constexpr bool kUsesCard = true;
    static Finish<RunPlanSetup> declare(CLI::App& app);
    static ExitStatus run(const RunPlanSetup& setup, Card& card);
};

} // namespace cli
