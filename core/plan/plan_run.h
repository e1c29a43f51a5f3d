#pragma once
// A plan run on the card: its steps in order, their results, and every line
// it drove back at 0 however it ends.

#include "core/plan/plan.h"
#include "core/plan/step_record.h"
#include "core/selftest/report.h"

#include <atomic>
#include <functional>
#include <optional>

namespace cli {
class Card;
}

namespace cli::plan {

// An expected input that read otherwise.
struct Mismatch {
    int input; // in Plan::inputs
    bool expected;
    bool read;
    bool unsteady; // it changed between two readings: an intermittent line
};

// One pass of a step (a step repeated three times has three).
struct StepResult {
    int step;     // in Plan::steps
    int pass = 1; // 1 to the step's repeat
    Outcome outcome = Outcome::Skipped;
    // For a step with "within": when the inputs matched, from the drive, or
    // none where they never did.
    std::optional<std::chrono::milliseconds> measured;
    std::vector<Mismatch> mismatches;         // the last reading's
    std::optional<selftest::Report> selftest; // a self-test step's
};

struct PlanResult {
    std::vector<StepResult> steps;
    bool passed() const;
};

struct RunOptions {
    // After each pass of a step, as it ends (a window's list; called on the
    // run's thread); before it, with Skipped, as it starts.
    std::function<void(const StepResult&)> onStep;
    const std::atomic<bool>* cancel = nullptr; // as in SelftestSetup
};

// Runs the plan. A failed driver call, a signal or a cancel end it early
// (the Failure, with what became of the lines added, is thrown); a reset that
// fails after the whole plan throws PlanNotReset with the results.
PlanResult runPlan(Card& card, const Plan& plan, const RunOptions& options);

class PlanNotReset : public DriverCallFailed {
public:
    PlanNotReset(const DriverCallFailed& notReset, PlanResult done)
        : DriverCallFailed(notReset), result(std::move(done)) {}
    PlanResult result;
};

} // namespace cli::plan
