#include "plant_history.h"

#include "core/base/console.h"
#include "core/plant/plant_schema.h"
#include "core/plant/plant_store.h"
#include "core/plant/postgres.h"
#include "core/records/history_output.h"

namespace cli::plant {

void checkPlantStore(const std::string& db) {
    checkConnectionText(db);
}

void showPlantHistory(const records::HistorySetup& setup) {
    Postgres db(setup.db.value_or(""), "dio-cli history");
    requirePlantLayout(db);
    // One snapshot for the statements a report takes.
    db.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    // A report groups up to millions of runs: in memory rather than spilled to
    // disk, and not worth compiling (JIT) for one run.
    db.exec("SET LOCAL work_mem = '64MB'");
    db.exec("SET LOCAL jit = off");
    std::string out;
    if (setup.stats && setup.byStation)
        out = records::stationStatsOutput(plantStationCounts(db, setup.filter), setup.format);
    else if (setup.stats)
        out = records::statsOutput(plantFaultCounts(db, setup.filter), setup.format);
    else
        out = records::historyOutput(plantHistory(db, setup.filter), setup.format);
    db.exec("COMMIT");
    write(Stream::Out, out);
}

} // namespace cli::plant
