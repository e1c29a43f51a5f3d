#include "plan_run.h"

#include "core/base/interrupts.h"
#include "core/card/card.h"
#include "core/selftest/driven_outputs.h"
#include "core/selftest/on_card.h"

#include <algorithm>

namespace cli::plan {
namespace {

using Clock = std::chrono::steady_clock;

// Between two readings of a step that waits for its inputs.
constexpr auto kPollPause = std::chrono::milliseconds(1);

// A pass of a step as it starts (or as it stays, not run).
StepResult begun(int step, int pass = 1) {
    StepResult result;
    result.step = step;
    result.pass = pass;
    return result;
}

// Ends the run where a signal or the program asked it to.
void stopIfAsked(const RunOptions& options) {
    if (interrupted())
        throw Interrupted(stopSignal());
    if (options.cancel && *options.cancel)
        throw Interrupted(0);
}

class PlanRunner {
public:
    PlanRunner(Card& card, const Plan& plan, const RunOptions& options)
        : card_(card), plan_(plan), options_(options), channels_(plan.drivenChannels()),
          values_(channels_.size()), outputs_(card, channels_) {}

    PlanResult run() {
        PlanResult result;
        bool stopped = false;
        try {
            for (int index = 0; index < static_cast<int>(plan_.steps.size()); ++index) {
                const Step& step = plan_.steps[index];
                if (stopped) {
                    result.steps.push_back(begun(index));
                    continue;
                }
                for (int pass = 1; pass <= step.repeat && !stopped; ++pass) {
                    if (options_.onStep)
                        options_.onStep(begun(index, pass));
                    result.steps.push_back(runStep(step, begun(index, pass)));
                    if (options_.onStep)
                        options_.onStep(result.steps.back());
                    stopped = result.steps.back().outcome == Outcome::Failed && step.stopOnFail;
                }
            }
        } catch (Failure& e) {
            const std::optional<DriverCallFailed> notReset = outputs_.reset();
            e.add(!notReset             ? "计划驱动过的各通道已复位为 0"
                  : outputs_.droveAny() ? notReset->told()
                                        : "计划没有驱动过任何通道，" + notReset->told());
            throw;
        }
        if (const std::optional<DriverCallFailed> notReset = outputs_.reset())
            throw PlanNotReset(*notReset, std::move(result));
        return result;
    }

private:
    StepResult runStep(const Step& step, StepResult done) {
        if (!step.selftest.empty())
            return selftestStep(step, done);
        for (const auto& [channel, value] : step.drive)
            values_[std::lower_bound(channels_.begin(), channels_.end(), channel) -
                    channels_.begin()] = value;
        outputs_.drive(values_);
        const Clock::time_point driven = Clock::now();
        pause(step.settle, options_.cancel);
        stopIfAsked(options_);
        if (step.within) {
            for (;;) {
                const std::vector<std::int16_t> first = card_.readWords(plan_.inputWords());
                // Rounded up: a time over the limit by a fraction is over it.
                const auto taken =
                    std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - driven);
                done.mismatches = mismatches(step, first, nullptr);
                if (done.mismatches.empty()) {
                    // Met once; met again at once, or the input chatters.
                    done.mismatches = mismatches(step, card_.readWords(plan_.inputWords()), &first);
                    if (done.mismatches.empty())
                        done.measured = taken;
                    break;
                }
                if (taken >= *step.within)
                    break;
                pause(kPollPause, options_.cancel);
                stopIfAsked(options_);
            }
        } else if (!step.expect.empty()) {
            // Read twice: an input that changes between them is unsteady.
            const std::vector<std::int16_t> first = card_.readWords(plan_.inputWords());
            done.mismatches = mismatches(step, card_.readWords(plan_.inputWords()), &first);
        }
        const bool inTime = !step.within || (done.measured && *done.measured <= *step.within);
        done.outcome = done.mismatches.empty() && inTime ? Outcome::Passed : Outcome::Failed;
        return done;
    }

    std::vector<Mismatch> mismatches(const Step& step, const std::vector<std::int16_t>& words,
                                     const std::vector<std::int16_t>* earlier) const {
        std::vector<Mismatch> found;
        for (const Expectation& e : step.expect) {
            const InputBit at = plan_.inputs[e.input].bit;
            const bool read = (words[at.word] >> at.bit & 1) != 0;
            const bool before = earlier ? ((*earlier)[at.word] >> at.bit & 1) != 0 : read;
            if (read != e.value || before != e.value)
                found.push_back({e.input, e.value, read, before != read});
        }
        return found;
    }

    StepResult selftestStep(const Step& step, StepResult done) {
        SelftestSetup setup;
        setup.channels = step.selftest;
        setup.settle = std::max(step.settle, std::chrono::milliseconds(1));
        setup.cancel = options_.cancel;
        selftest::Trace trace;
        try {
            done.selftest = selftestOnCard(card_, setup, trace);
        } catch (TestedNotReset& e) {
            done.selftest = e.report;
            throw DriverCallFailed(e.told());
        }
        done.outcome = done.selftest->faults.empty() ? Outcome::Passed : Outcome::Failed;
        return done;
    }

    Card& card_;
    const Plan& plan_;
    const RunOptions& options_;
    const std::vector<int> channels_;
    std::vector<bool> values_;
    DrivenOutputs outputs_;
};

} // namespace

bool PlanResult::passed() const {
    return std::all_of(steps.begin(), steps.end(),
                       [](const StepResult& s) { return s.outcome == Outcome::Passed; });
}

PlanResult runPlan(Card& card, const Plan& plan, const RunOptions& options) {
    return PlanRunner(card, plan, options).run();
}

} // namespace cli::plan
