#include "station_rules.h"

#include "core/selftest/report.h"

#include <algorithm>
#include <map>

namespace cli {
namespace {

bool unfinished(const records::RecordedRun& run) {
    return run.status == records::RunStatus::Aborted || run.status == records::RunStatus::Error;
}

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : "、") + item;
    return text;
}

} // namespace

std::vector<plan::Finding> findingsOf(const records::RecordedRun& run) {
    std::set<plan::Finding> found;
    for (const plan::RecordedStep& step : run.steps)
        found.insert(step.findings.begin(), step.findings.end());
    if (!run.plan)
        for (const selftest::Fault& fault : run.faults)
            found.insert({selftest::nameOf(fault.kind), selftest::joined(fault.channels, ",")});
    return {found.begin(), found.end()};
}

std::string findingText(const plan::Finding& finding) {
    const auto kind = convert::valueNamed(selftest::kFaultKindNames, finding.kind);
    const std::string what = kind                        ? selftest::wordOf(*kind)
                             : finding.kind == "not-met" ? "未达到期望"
                                                         : finding.kind;
    const bool channels = finding.where.find_first_not_of("0123456789,") == std::string::npos;
    return (channels ? "通道 " : "") + finding.where + " " + what;
}

Admission admit(const std::vector<records::RecordedRun>& serialRuns, const StationRules& rules) {
    // The runs that speak of the unit: finished, and not suspecting the fixture.
    std::vector<const records::RecordedRun*> counted;
    for (const records::RecordedRun& run : serialRuns)
        if (!unfinished(run) && !run.suspectFixture)
            counted.push_back(&run);
    if (counted.empty() || counted.front()->status == records::RunStatus::Pass)
        return {};
    const records::RecordedRun& last = *counted.front();
    std::vector<std::string> hard, soft;
    for (const plan::Finding& f : findingsOf(last))
        (rules.retestOn.count(f.kind) ? soft : hard).push_back(findingText(f));
    // Its failed runs since it last passed, or since an operator last
    // overruled a repair (a repaired unit starts anew).
    int tries = 0;
    for (const records::RecordedRun* run : counted) {
        if (run->status == records::RunStatus::Pass)
            break;
        ++tries;
        if (!run->overruledBy.empty())
            break;
    }
    if (!hard.empty())
        return {Admission::Verdict::ToRepair, listed(hard)};
    if (tries > rules.retests)
        return {Admission::Verdict::ToRepair,
                "已复测 " + std::to_string(tries - 1) + " 次仍不合格（" + listed(soft) + "）"};
    return {Admission::Verdict::Retest, listed(soft)};
}

FixtureHold fixtureHold(const std::vector<records::RecordedRun>& stationRuns,
                        const StationRules& rules) {
    struct Row {
        std::set<std::string> serials;
        std::vector<std::string> uuids;
    };
    std::map<plan::Finding, Row> rows;
    FixtureHold hold;
    for (const records::RecordedRun& run : stationRuns) {
        if (unfinished(run))
            continue;
        // While held only golden serials are tested: a pass then is one, whichever
        // list of them a later command line gives.
        if (run.status == records::RunStatus::Pass &&
            (rules.golden.count(run.serial) || hold.held)) {
            hold = {};
            rows.clear();
            continue;
        }
        // A golden unit failing on a held fixture says nothing new of it.
        if (hold.held && rules.golden.count(run.serial))
            continue;
        const std::vector<plan::Finding> found = findingsOf(run);
        for (auto row = rows.begin(); row != rows.end();)
            row = std::binary_search(found.begin(), found.end(), row->first) ? std::next(row)
                                                                             : rows.erase(row);
        for (const plan::Finding& f : found) {
            Row& row = rows[f];
            row.serials.insert(run.serial);
            row.uuids.push_back(run.uuid);
            if (!hold.held && static_cast<int>(row.serials.size()) >= rules.fixtureRow)
                hold = {true, f, {row.serials.begin(), row.serials.end()}, row.uuids, run.started};
        }
    }
    return hold;
}

} // namespace cli
