#include "trace_check.h"

#include "core/base/errors.h"
#include "core/card/wiring.h"
#include "core/selftest/trace.h"

#include <utility>

namespace cli::records {

TraceCheck checkTrace(const RecordedRun& run) {
    if (!run.trace)
        return {};
    auto disagrees = [](std::string why) {
        return TraceCheck{TraceVerdict::Disagrees, std::move(why)};
    };
    if (static_cast<long>(run.trace->patterns.size()) != run.patterns)
        return disagrees("记下了 " + std::to_string(run.trace->patterns.size()) +
                         " 个图样，图样数却是 " + std::to_string(run.patterns));
    std::vector<int> channels;
    try {
        channels = parseChannels(run.channels);
    } catch (const UsageError& e) {
        return disagrees(e.what());
    }
    const bool finished = run.status == RunStatus::Pass || run.status == RunStatus::Fail;
    const std::string why = selftest::traceDisagrees(channels, *run.trace, finished, run.faults);
    if (!why.empty())
        return disagrees(why);
    if (finished && (run.status == RunStatus::Pass) != run.faults.empty())
        return disagrees(run.faults.empty() ? "没有故障，结果却是不合格" : "有故障，结果却是合格");
    return {TraceVerdict::Agrees, ""};
}

} // namespace cli::records
