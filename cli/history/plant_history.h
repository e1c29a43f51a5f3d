#pragma once
// history --db of the plant's PostgreSQL: on Linux the plant's store, with
// the filters and formats of a station's file; elsewhere refused.

#include "cli/history/history_command.h"

#include <string>

namespace cli::plant {

// Throws UsageError for connection text libpq would not take (or that holds
// a password), or where this dio-cli reads no PostgreSQL.
void checkPlantStore(const std::string& db);
// Throws RecordFailed.
void showPlantHistory(const records::HistorySetup& setup);

} // namespace cli::plant
