#pragma once
// The recorded runs as `dio-cli history` shows them.

#include "convert/named.h"
#include "core/records/store.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace cli::records {

enum class HistoryFormat { Text, Csv, Json };
inline constexpr convert::Named<HistoryFormat> kHistoryFormatNames[] = {
    {HistoryFormat::Text, "text"}, {HistoryFormat::Csv, "csv"}, {HistoryFormat::Json, "json"}};

// Newest first as given; a run's faults (or why it ended) under it in the
// text, in one field of the CSV, as a list in the JSON.
std::string historyOutput(const std::vector<RecordedRun>& runs, HistoryFormat format);

// One run as `history --format json` lists it (and MQTT publishes it).
nlohmann::ordered_json runJson(const RecordedRun& run);

// Each run's check of its findings against its own readings (checkTrace), a
// line a run; `disagreeing` counts those that do not hold up.
std::string checkOutput(const std::vector<RecordedRun>& runs, HistoryFormat format,
                        long& disagreeing);

// The counts per channel, most often faulty first; in the CSV a column per
// kind of fault.
std::string statsOutput(const FaultCounts& counts, HistoryFormat format);

// The counts per station: runs, passed, failed, unfinished, units, first-pass
// yield.
std::string stationStatsOutput(const std::vector<StationCounts>& counts, HistoryFormat format);

} // namespace cli::records
