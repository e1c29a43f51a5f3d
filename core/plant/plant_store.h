#pragma once
// The runs of every station in the plant's PostgreSQL: stored by the
// collector, read by dio-cli history.

#include "core/records/store.h"

#include <string>
#include <vector>

namespace cli::plant {

class Postgres;

// The runs and their faults in one transaction, each at most once, committed
// so that a crash of the server cannot lose it (whatever its
// synchronous_commit): a run whose identity is there already is left as it
// is. For each run, whether the store now holds it as given (stored now, or
// before: the same run sent again); false for a different run under an
// identity already taken, which is not to be confirmed. Throws PgFailed, and
// then none of them is stored.
std::vector<bool> storeRuns(Postgres& db, const std::vector<records::RecordedRun>& runs);

// As their namesakes read a station's file (the filter's `pending` has no
// meaning here: the store has what it has).
std::vector<records::RecordedRun> plantHistory(Postgres& db, const records::HistoryFilter& filter);
records::FaultCounts plantFaultCounts(Postgres& db, const records::HistoryFilter& filter);
std::vector<records::StationCounts> plantStationCounts(Postgres& db,
                                                       const records::HistoryFilter& filter);

} // namespace cli::plant
