#pragma once
// What a station decides from its own records before and after a unit's run:
// whether a serial that failed may be tested again (the retest rule reads the
// findings) and whether the same fault coming back on unit after unit points
// at the station's fixture rather than at the units.

#include "core/plan/step_record.h"
#include "core/records/store.h"

#include <set>
#include <string>
#include <vector>

namespace cli {

struct StationRules {
    // Runs a serial may have after its first, where every finding of its
    // last failed run is of these kinds (it may pass on another try); any
    // other finding sends it to repair.
    int retests = 1;
    std::set<std::string> retestOn{"intermittent", "undecided"};
    // The same finding on this many different serials in a row holds the station.
    int fixtureRow = 3;
    std::set<std::string> golden;     // known-good units: a pass releases a hold
    std::set<std::string> overrulers; // operators who may have a unit to repair tested
};

// What a run found, each once: its failed steps' findings, or a self-test
// run's faults (kind and channels).
std::vector<plan::Finding> findingsOf(const records::RecordedRun& run);

struct Admission {
    enum class Verdict { Test, Retest, ToRepair } verdict = Verdict::Test;
    std::string why; // for a retest or a repair, in words
};

// Whether the serial may be tested, from its runs at the station, newest
// first. A run that suspected the fixture does not count against the unit;
// nor does one that did not finish (aborted, error).
Admission admit(const std::vector<records::RecordedRun>& serialRuns, const StationRules& rules);

struct FixtureHold {
    bool held = false;
    plan::Finding finding;            // the finding that came back
    std::vector<std::string> serials; // the units it came back on
    std::vector<std::string> uuids;   // the runs of the row
    std::string since;                // when the row was complete (UTC, ISO 8601)
};

// The station's fixture as its runs, oldest first, leave it: held from the
// run that completes a row, until a golden serial passes.
FixtureHold fixtureHold(const std::vector<records::RecordedRun>& stationRuns,
                        const StationRules& rules);

// "stuck-0 on 20" in words, for a message.
std::string findingText(const plan::Finding& finding);

} // namespace cli
