#pragma once
// history --db of the plant's PostgreSQL: on Linux the plant's store;
// elsewhere refused.

#include "core/records/run_store.h"

#include <memory>
#include <string>

namespace cli::plant {

// Throws UsageError for connection text libpq would not take (or that holds
// a password), or where this dio-cli reads no PostgreSQL.
void checkPlantStore(const std::string& db);
// Throws RecordFailed.
std::unique_ptr<records::RunStore> openPlantStore(const std::string& db);

} // namespace cli::plant
