#pragma once
// The subcommands, on a card, once their arguments have been checked.
// Each returns the program's exit status.

#include "cli/mqtt/broker_url.h"
#include "cli/records/history_output.h"
#include "cli/records/store.h"
#include "cli/selftest/junit.h"
#include "cli/watch.h"
#include "cli/wiring.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class Card;
struct BitSetting;
struct ByteSetting;
struct SelftestSetup;

enum class GetFormat { Text, Hex, Bits, Json };

int showInfo(Card& card);
int showInputs(Card& card, int words, GetFormat format);
int setBits(Card& card, const std::vector<BitSetting>& settings);
int setBytes(Card& card, const std::vector<ByteSetting>& settings);

struct WatchSetup {
    std::vector<int> channels;
    Wiring wiring;
    std::chrono::milliseconds interval;
    long count;                                        // changes to wait for; 0: no limit
    std::optional<std::chrono::milliseconds> duration; // none: no limit
    WatchFormat format;
    bool utc;
    std::optional<mqtt::BrokerUrl> mqtt; // each change published there too
    std::string station;                 // the topic's level for this machine
};
int watch(Card& card, const WatchSetup& setup);

struct SelftestOutput {
    bool json;                         // the JSON report on the standard output instead of the text
    std::optional<std::string> report; // a file for the JSON report too
    std::optional<std::string> junit;  // a file for the JUnit XML
    selftest::Run run;                 // serial, part, station, operator; times filled in
    bool record = false;               // kept in the records (a serial number was given)
    std::optional<std::string> db;     // the records' file; none: the user's default
    std::optional<mqtt::BrokerUrl> mqtt; // the run published there once kept
};
int runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output);

// The recorded runs, newest first, or (stats) the counts of faults per
// channel (exit status 6 where the records cannot be read).
int showHistory(const records::HistoryFilter& filter, records::HistoryFormat format, bool stats,
                const std::optional<std::string>& db);

} // namespace cli
