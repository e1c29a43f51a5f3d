#pragma once
// A plan's run as the records keep it: which plan, and each step's pass with
// its outcome, measurement and findings. Header only: the records read it
// back without running plans.

#include "convert/named.h"

#include <optional>
#include <string>
#include <vector>

namespace cli::plan {

// Passed; failed; not run, as an earlier failure stopped the plan.
enum class Outcome { Passed, Failed, Skipped };
inline constexpr convert::Named<Outcome> kOutcomeNames[] = {
    {Outcome::Passed, "passed", "通过"},
    {Outcome::Failed, "failed", "失败"},
    {Outcome::Skipped, "skipped", "未运行"}};

// What a failed step found, the same way each time it is found: its kind
// ("not-met", "late", "intermittent", or a self-test fault's: "stuck-0",
// "short", ...) and where ("DI2=1": the input and the value it should have
// had; "17,18": a self-test's channels). A station's fixture is suspected
// where the same finding comes back on unit after unit.
struct Finding {
    std::string kind, where;
    bool operator==(const Finding& o) const { return kind == o.kind && where == o.where; }
    bool operator<(const Finding& o) const {
        return kind != o.kind ? kind < o.kind : where < o.where;
    }
};

struct RecordedStep {
    std::string name;
    int pass = 1;
    Outcome outcome = Outcome::Skipped;
    std::optional<long> measuredMs, limitMs;
    std::vector<Finding> findings;
};

struct PlanIdentity {
    std::string name, version, digest;
};

} // namespace cli::plan
