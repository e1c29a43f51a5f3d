#pragma once

#include <optional>
#include <string>

namespace cli::records {

// Where the records are kept unless --db names a file: the user's data folder
// ($XDG_DATA_HOME, else ~/.local/share; %LOCALAPPDATA% on Windows), in
// dio-panel/results.sqlite. The folder is made where missing; throws
// RecordFailed where it cannot be.
std::string defaultDatabase();

inline std::string databaseAt(const std::optional<std::string>& given) {
    return given ? *given : defaultDatabase();
}

} // namespace cli::records
