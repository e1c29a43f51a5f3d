#pragma once

#include <string>

namespace cli::records {

// Where the records are kept unless --db names a file: the user's data folder
// ($XDG_DATA_HOME, else ~/.local/share; %LOCALAPPDATA% on Windows), in
// dio-panel/results.sqlite. The folder is made where missing; throws
// RecordFailed where it cannot be.
std::string defaultDatabase();

} // namespace cli::records
