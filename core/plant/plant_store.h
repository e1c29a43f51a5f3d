#pragma once
// The runs of every station in the plant's PostgreSQL: stored by the
// collector, read by dio-cli history.

#include "core/plant/postgres.h"
#include "core/records/run_store.h"
#include "core/records/store.h"

#include <optional>
#include <string>
#include <vector>

namespace cli::plant {

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

// The plant's store as a report reads it: its layout checked, and every
// question answered from one read-only snapshot.
class PlantStore : public records::RunStore {
public:
    // `db` as libpq names a server; `program` as pg_stat_activity shows it.
    // Throws RecordFailed.
    PlantStore(const std::string& db, const char* program);
    std::vector<records::RecordedRun> history(const records::HistoryFilter& filter) override {
        return plantHistory(db_, filter);
    }
    records::FaultCounts faultCounts(const records::HistoryFilter& filter) override {
        return plantFaultCounts(db_, filter);
    }
    std::vector<records::StationCounts>
    stationCounts(const records::HistoryFilter& filter) override {
        return plantStationCounts(db_, filter);
    }

private:
    Postgres db_;
    std::optional<PgTransaction> snapshot_; // after the layout is checked
};

} // namespace cli::plant
