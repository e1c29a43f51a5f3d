#pragma once
// The runs of every station in the plant's PostgreSQL: stored by the
// collector, read by dio-cli history.

#include "cli/records/store.h"

#include <string>
#include <vector>

namespace cli::plant {

class Postgres;

// The runs and their faults in one transaction, each at most once: a run
// whose identity is there already is left as it is. Throws RecordFailed, and
// then none of them is stored.
void storeRuns(Postgres& db, const std::vector<records::RecordedRun>& runs);

// As their namesakes read a station's file (the filter's `pending` has no
// meaning here: the store has what it has).
std::vector<records::RecordedRun> plantHistory(Postgres& db, const records::HistoryFilter& filter);
records::FaultCounts plantFaultCounts(Postgres& db, const records::HistoryFilter& filter);
std::vector<records::StationCounts> plantStationCounts(Postgres& db,
                                                       const records::HistoryFilter& filter);

} // namespace cli::plant
