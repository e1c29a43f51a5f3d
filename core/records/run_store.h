#pragma once
// Where runs are read back: a station's SQLite file or the plant's
// PostgreSQL, asked the same questions over the same filter.

#include "core/records/store.h"

#include <string>
#include <utility>
#include <vector>

namespace cli::records {

class RunStore {
public:
    virtual ~RunStore() = default;
    // Each throws RecordFailed where the store cannot be read.
    virtual std::vector<RecordedRun> history(const HistoryFilter& filter) = 0;
    virtual FaultCounts faultCounts(const HistoryFilter& filter) = 0;
    virtual std::vector<StationCounts> stationCounts(const HistoryFilter& filter) = 0;
};

// A station's file, which must exist.
class StationFile : public RunStore {
public:
    explicit StationFile(std::string path) : path_(std::move(path)) {}
    std::vector<RecordedRun> history(const HistoryFilter& filter) override {
        return records::history(path_, filter);
    }
    FaultCounts faultCounts(const HistoryFilter& filter) override {
        return records::faultCounts(path_, filter);
    }
    std::vector<StationCounts> stationCounts(const HistoryFilter& filter) override {
        return records::stationCounts(path_, filter);
    }

private:
    std::string path_;
};

} // namespace cli::records
