#pragma once
// A unit's plan as a test station runs it: the serial admitted or sent to
// repair by its records, the station held where its fixture is suspect, the
// run kept with its steps and published.

#include "core/plan/plan_run.h"
#include "core/runs/run.h"
#include "core/runs/station_rules.h"

namespace cli {

struct PlanStation {
    StationRules rules;
    bool overrule = false; // the operator overrules a repair (one the rules allow)
};

// Before anything is driven, where the run is kept (a serial given): throws
// FixtureHeld where the station's fixture is held and the serial is no golden
// one, UnitToRepair where the serial's records send it to repair and no
// allowed operator overrules, UsageError where one not allowed tries.
// Returns what the records say of the serial (a retest, and why).
// Records that cannot be read leave the unit to its test, saying so in `notRead`.
Admission admitUnit(const SelftestOutput& output, const PlanStation& station,
                    std::optional<RecordFailed>& notRead);

struct KeptPlanRun : Shortfalls {
    selftest::Run run;
    plan::PlanResult result;
    records::RecordedRun record;
    std::optional<DriverCallFailed> notReset; // a whole plan whose lines stayed driven
    FixtureHold hold;                         // the station's fixture after this run
    bool heldNow = false;                     // this run completed the row that holds it
    bool released = false;                    // this run of a golden serial released it
    Admission next;                           // what the records now say of the serial
};

// The plan on the card, kept and published as `output` asks. A run that ends
// early (a signal, a cancel, the driver) is kept as far as it went, and its
// failure thrown with the lines back at 0.
KeptPlanRun runPlanAndKeep(Card& card, const plan::Plan& plan, const SelftestOutput& output,
                           const PlanStation& station, const Admission& admission,
                           const plan::RunOptions& options);

// The hold in words: the finding, the units, and what to do.
std::string fixtureHeldText(const FixtureHold& hold, const StationRules& rules);

} // namespace cli
