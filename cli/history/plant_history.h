#pragma once

#include "cli/history/history_command.h"

namespace cli::plant {

// dio-cli history --db postgresql://...: the plant's store, with the filters
// and formats of a station's file. Throws RecordFailed.
void showPlantHistory(const records::HistorySetup& setup);

} // namespace cli::plant
