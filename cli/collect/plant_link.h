#pragma once
// The collector's side of the plant's PostgreSQL: connected where it can be,
// its layout ready, each outage said once when it begins and once when it
// ends. Runs are stored, or wait for the next try while the database is away
// or refuses writes for a while (read-only, full, a lock or statement
// timeout); only a run the server will never take is dropped.

#include "core/plant/postgres.h"
#include "core/records/store.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class PlantLink {
public:
    using Say = std::function<void(const std::string&)>;
    // `late`: whether nothing more may be stored (a stop's bound passed);
    // then a statement still running is cancelled, and nothing else tried.
    PlantLink(std::string db, Say say, std::function<bool()> late);

    // Connected, with its layout ready; false (the outage said) while it
    // cannot be. Throws RecordFailed for a database that is another
    // program's or of a newer layout: nothing to wait for.
    bool ensureConnected();
    // Whether it is connected now (nothing tried).
    bool up() const { return db_ && db_->alive(); }

    struct Stored {
        std::vector<records::RecordedRun> kept;      // in the store as given: to be confirmed
        std::vector<records::RecordedRun> different; // another run under an identity taken
        bool failed = false; // the database away or refusing: try again in a while
    };
    // Stores a batch of what `waiting` holds, its oldest first: what is in
    // the store now moves out into the result, a run the server refuses as
    // data is said and dropped, and what is left waits for the next try.
    Stored store(std::vector<records::RecordedRun>& waiting);

private:
    // Drops the connection, for a new one at the next try (a session stuck
    // read-only on a demoted server is made anew), and says the outage once.
    void away(const std::string& why);
    // What of the batch is left to try again (the stored moved into `stored`).
    std::vector<records::RecordedRun> storeBatch(std::vector<records::RecordedRun>& batch,
                                                 Stored& stored);

    std::string text_;
    Say say_;
    std::optional<plant::Postgres> db_;
    bool away_ = false;
    std::function<bool()> late_;
    std::size_t limit_ = SIZE_MAX; // the largest batch tried next
};

} // namespace cli
