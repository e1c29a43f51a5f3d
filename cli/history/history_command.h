#pragma once
// dio-cli history: the recorded runs, newest first, or (stats) the counts of
// faults per channel.

#include "cli/subcommand.h"
#include "core/records/history_output.h"
#include "core/records/store.h"

#include <optional>
#include <string>

namespace cli::records {

struct HistorySetup {
    HistoryFilter filter;
    HistoryFormat format = HistoryFormat::Text;
    bool stats = false;            // per channel, how often found faulty
    bool byStation = false;        // the stats per station instead
    bool check = false;            // each run's findings against its own readings
    std::optional<std::string> db; // none: the user's default
};

// Whether a --db names the plant's PostgreSQL (a postgresql:// URL or a
// service=NAME of libpq's service file) rather than a station's file.
inline bool isPlantStore(const std::string& db) {
    return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0 ||
           db.rfind("service=", 0) == 0;
}

} // namespace cli::records

namespace cli {

template <> struct Subcommand<records::HistorySetup> {
    static constexpr const char* kName = "history";
    static constexpr bool kUsesCard = false;
    static Finish<records::HistorySetup> declare(CLI::App& app);
    // Throws RecordFailed where the records cannot be read.
    static ExitStatus run(const records::HistorySetup& setup);
};

} // namespace cli
