#include "plan_kept.h"

#include "core/base/run_identity.h"
#include "core/base/timestamp.h"
#include "core/plan/plan_output.h"
#include "core/records/default_database.h"

#include <algorithm>
#include <filesystem>

namespace cli {
namespace {

// How far back a station's runs are read for its fixture: far more than
// any row that holds it.
constexpr std::size_t kFixtureWindow = 500;

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : "、") + item;
    return text;
}

// The runs kept at the station (of the serial, where given), newest first;
// none where the records do not exist yet.
std::vector<records::RecordedRun> keptRuns(const SelftestOutput& output,
                                           const std::optional<std::string>& serial) {
    const std::string path = records::databaseAt(output.db);
    std::error_code unknown;
    if (!std::filesystem::exists(std::filesystem::u8path(path), unknown))
        return {};
    records::HistoryFilter filter;
    filter.station = output.who.station;
    filter.serial = serial;
    filter.newest = kFixtureWindow;
    return records::history(path, filter);
}

FixtureHold holdOf(std::vector<records::RecordedRun> newestFirst, const StationRules& rules) {
    std::reverse(newestFirst.begin(), newestFirst.end());
    return fixtureHold(newestFirst, rules);
}

records::RecordedRun recordOf(const plan::Plan& plan, const selftest::Run& run,
                              const std::vector<plan::StepResult>& done) {
    records::RecordedRun record;
    static_cast<selftest::Identity&>(record) = run;
    record.uuid = run.uuid;
    record.started = isoTimestamp(run.start, true);
    record.ended = isoTimestamp(std::chrono::system_clock::now(), true);
    record.channels = records::channelRanges(plan.channels());
    record.patterns = static_cast<long>(done.size());
    record.plan = plan::PlanIdentity{plan.name, plan.version, plan.digest};
    record.steps = plan::recordedSteps(plan, done);
    for (const plan::StepResult& step : done)
        if (step.selftest)
            record.faults.insert(record.faults.end(), step.selftest->faults.begin(),
                                 step.selftest->faults.end());
    const bool failed = std::any_of(done.begin(), done.end(), [](const plan::StepResult& s) {
        return s.outcome == plan::Outcome::Failed;
    });
    record.status = failed ? records::RunStatus::Fail : records::RunStatus::Pass;
    return record;
}

} // namespace

Admission admitUnit(const SelftestOutput& output, const PlanStation& station,
                    std::optional<RecordFailed>& notRead) {
    if (!output.record)
        return {};
    const StationRules& rules = station.rules;
    const std::string& serial = output.who.serial;
    FixtureHold hold;
    std::vector<records::RecordedRun> runs;
    try {
        hold = holdOf(keptRuns(output, std::nullopt), rules);
        runs = keptRuns(output, serial);
    } catch (const RecordFailed& e) {
        // Records that cannot be read (a full disk, a broken file) do not
        // keep the unit from its test: its result stands, and this is said.
        notRead = RecordFailed("记录库读不了，没有按记录判定复测和夹具：" + std::string(e.what()));
        return {};
    }
    if (hold.held && !rules.golden.count(serial))
        throw FixtureHeld(fixtureHeldText(hold, rules));
    // A known-good unit is never sent to repair: where it fails, the station is at fault.
    if (rules.golden.count(serial))
        return {};
    Admission admission = admit(runs, rules);
    if (admission.verdict != Admission::Verdict::ToRepair)
        return admission;
    if (!station.overrule)
        throw UnitToRepair(serial + " 待维修（" + admission.why +
                           "），不再测试；维修后由可否决的操作员加 --overrule 重测");
    if (!rules.overrulers.count(output.who.operatorName))
        throw UsageError("操作员 " + output.who.operatorName +
                         " 不在 --overrulers 里，不能否决送修的判定");
    return admission;
}

KeptPlanRun runPlanAndKeep(Card& card, const plan::Plan& plan, const SelftestOutput& output,
                           const PlanStation& station, const Admission& admission,
                           const plan::RunOptions& options) {
    KeptPlanRun kept;
    selftest::Run& run = kept.run;
    static_cast<selftest::Identity&>(run) = output.who;
    run.uuid = newRunIdentity();
    run.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    // The passes as they end, for a run cut short.
    std::vector<plan::StepResult> done;
    plan::RunOptions collecting = options;
    collecting.onStep = [&](const plan::StepResult& step) {
        if (step.outcome != plan::Outcome::Skipped)
            done.push_back(step);
        if (options.onStep)
            options.onStep(step);
    };
    const bool overruled = admission.verdict == Admission::Verdict::ToRepair;
    try {
        kept.result = plan::runPlan(card, plan, collecting);
    } catch (const plan::PlanNotReset& e) {
        kept.result = e.result;
        kept.notReset = e;
    } catch (Failure& e) {
        records::RecordedRun record = recordOf(plan, run, done);
        // A signal, or a reader of the output gone (as SIGPIPE), stopped it.
        const bool stopped =
            dynamic_cast<const Interrupted*>(&e) || e.exitStatus() > code(ExitStatus::Signal);
        record.status = stopped ? records::RunStatus::Aborted : records::RunStatus::Error;
        record.reason = e.told();
        if (overruled)
            record.overruledBy = output.who.operatorName;
        const Shortfalls shortfalls = keepAndPublish(output, record);
        if (shortfalls.notRecorded)
            e.add(notRecordedText(*shortfalls.notRecorded));
        e.add(shortfalls.notPublished);
        throw;
    }
    run.duration = std::chrono::steady_clock::now() - began;
    kept.record = recordOf(plan, run, kept.result.steps);
    if (overruled)
        kept.record.overruledBy = output.who.operatorName;
    if (kept.notReset) {
        kept.record.status = records::RunStatus::Error;
        kept.record.reason = kept.notReset->told();
    }
    std::vector<records::RecordedRun> runs;
    bool read = output.record;
    try {
        if (read)
            runs = keptRuns(output, std::nullopt);
    } catch (const RecordFailed&) {
        read = false; // said when the run is kept, which fails the same way
    }
    if (read) {
        // The station's fixture with this run: held by it, or released.
        const FixtureHold before = holdOf(runs, station.rules);
        runs.insert(runs.begin(), kept.record);
        kept.hold = holdOf(runs, station.rules);
        kept.heldNow = kept.hold.held && !before.held;
        kept.released = before.held && !kept.hold.held;
        // A golden unit failing while the fixture is held: the fixture's doing.
        kept.record.suspectFixture =
            kept.heldNow || (before.held && station.rules.golden.count(run.serial) &&
                             kept.record.status != records::RunStatus::Pass);
        std::vector<records::RecordedRun> serials;
        std::copy_if(runs.begin(), runs.end(), std::back_inserter(serials),
                     [&](const records::RecordedRun& r) { return r.serial == run.serial; });
        kept.next = admit(serials, station.rules);
    }
    static_cast<Shortfalls&>(kept) = keepAndPublish(output, kept.record);
    if (kept.heldNow && !kept.notRecorded) {
        // The row's earlier runs too: their units are not to blame for it.
        std::vector<std::string> earlier = kept.hold.uuids;
        earlier.erase(std::remove(earlier.begin(), earlier.end(), kept.record.uuid), earlier.end());
        try {
            records::markSuspect(records::databaseAt(output.db), earlier);
        } catch (const RecordFailed& e) {
            kept.notRecorded = e;
        }
    }
    return kept;
}

std::string fixtureHeldText(const FixtureHold& hold, const StationRules& rules) {
    const std::string golden =
        rules.golden.empty() ? "用 --golden 指定的金样"
                             : "金样（" + listed({rules.golden.begin(), rules.golden.end()}) + "）";
    return "测试台暂停：" + findingText(hold.finding) + " 接连出现在 " + listed(hold.serials) +
           " 上，更可能是夹具（线缆、针脚）的问题。请检查夹具，再测一块" + golden + "放行";
}

} // namespace cli
