#pragma once
// A self-test as a test station runs it: the card to itself, the report's
// files, the run kept in the records and published to the plant's broker.

#include "core/base/errors.h"
#include "core/base/exit_status.h"
#include "core/mqtt/broker_url.h"
#include "core/records/store.h"
#include "core/selftest/junit.h"
#include "core/selftest/on_card.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace cli {

class Card;
class SelftestLock;

struct SelftestOutput {
    bool json = false;                 // the JSON report on the standard output instead of the text
    std::optional<std::string> report; // a file for the JSON report too
    std::optional<std::string> junit;  // a file for the JUnit XML
    selftest::Identity who;            // serial, part, station, operator
    bool record = false;               // kept in the records (a serial number was given)
    std::optional<std::string> db;     // the records' file; none: the user's default
    std::optional<mqtt::BrokerUrl> mqtt; // the run published there once kept
};

// What of keeping and publishing a run failed (its result stands all the
// same).
struct Shortfalls {
    std::optional<RecordFailed> notRecorded;
    std::optional<PublishFailed> notPublished;
};
// A record not kept, as dio-cli and the window say it.
std::string notRecordedText(const RecordFailed& failure);

// The run kept where `output` asks and published, as a self-test's or a
// plan's; what of it failed.
Shortfalls keepAndPublish(const SelftestOutput& output, const records::RecordedRun& record);

// A run as the station keeps it: the result, its record, and its shortfalls.
struct KeptRun : Shortfalls {
    selftest::Run run; // who, when, how long
    selftest::Report result;
    records::RecordedRun record;
    // A whole test whose lines did not all go back to 0: its result stands,
    // kept as an error, and this names the lines.
    std::optional<DriverCallFailed> notReset;
};

// The card to this test alone (the lock, held while it lives), checked able to
// carry it, before anything is driven; UsageError otherwise.
std::unique_ptr<SelftestLock> holdCardFor(Card& card, const SelftestSetup& setup);

// The test, kept in the records and published as `output` asks; no files,
// nothing said. A run that ends early (a signal, a cancel, the driver) is kept
// too, as far as it went, and its failure thrown with the lines back at 0.
KeptRun testAndKeep(Card& card, const SelftestSetup& setup, const SelftestOutput& output);

// A kept run published as `output` asks (nothing without a broker): with the
// file's other runs the plant's store has not confirmed yet (sent again a
// minute after they were last sent) where it is in the records (`kept`), else
// alone, to "<prefix>/<station>/selftest". Why it could not be, if so.
std::optional<PublishFailed> publishKept(const SelftestOutput& output,
                                         const records::RecordedRun& record, bool kept,
                                         const std::atomic<bool>* cancel = nullptr);

// dio-cli selftest: the card held, the test kept, the files written and the
// result said. Ok or FaultsFound; a run that could not be kept, published or written, or
// that a signal or the driver ended, throws its failure once the lines are
// back at 0 and the result (where there is one) is out.
ExitStatus runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output);

} // namespace cli
