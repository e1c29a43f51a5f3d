#pragma once
// A self-test as a test station runs it: the card to itself, the report's
// files, the run kept in the records and published to the plant's broker.

#include "cli/common/exit_status.h"
#include "cli/mqtt/broker_url.h"
#include "cli/selftest/junit.h"
#include "cli/selftest/on_card.h"

#include <optional>
#include <string>

namespace cli {

class Card;

struct SelftestOutput {
    bool json = false;                 // the JSON report on the standard output instead of the text
    std::optional<std::string> report; // a file for the JSON report too
    std::optional<std::string> junit;  // a file for the JUnit XML
    selftest::Identity who;            // serial, part, station, operator
    bool record = false;               // kept in the records (a serial number was given)
    std::optional<std::string> db;     // the records' file; none: the user's default
    std::optional<mqtt::BrokerUrl> mqtt; // the run published there once kept
};

// Ok or FaultsFound; a run that could not be kept, published or written, or
// that a signal or the driver ended, throws its failure once the lines are
// back at 0 and the result (where there is one) is out.
ExitStatus runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output);

} // namespace cli
