#include "history_command.h"

#include "core/base/console.h"
#include "core/records/default_database.h"

namespace cli::records {

void showHistory(const HistorySetup& setup) {
    const std::string path = databaseAt(setup.db);
    if (setup.stats && setup.byStation)
        write(Stream::Out, stationStatsOutput(stationCounts(path, setup.filter), setup.format));
    else
        write(Stream::Out, setup.stats ? statsOutput(faultCounts(path, setup.filter), setup.format)
                                       : historyOutput(history(path, setup.filter), setup.format));
}

} // namespace cli::records
