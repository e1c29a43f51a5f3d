#pragma once
// The options a station's self-test is set up with, the same in dio-cli
// selftest and in the station's window: channels, wiring, timing, where the
// runs are kept and published, and who and where.
//
// One run's set-up passes through five structs, a layer each:
//   StationArguments  the options as typed, shared by both programs (here);
//   SelftestSetup     what the test on the card needs: channels, wiring, timing
//                     (core/selftest/on_card.h);
//   SelftestOutput    who and where, and where the run is kept and published
//                     (core/runs/run.h);
//   SelftestCommand   dio-cli selftest's: the two above, its output with the
//                     serial given (cli/selftest_command.h);
//   StationSettings   the window's: the two above, the serial left to each scan,
//                     and the window's own options (station/station_options.h).

#include "core/mqtt/broker_url.h"
#include "core/runs/run.h"
#include "core/selftest/on_card.h"

#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace cli {

// As given, before they are checked.
struct StationArguments {
    std::string channels, map, settle, reads, codes;
    std::string part, station, operatorName, db, mqtt;
    CLI::Option* dbGiven = nullptr;
    CLI::Option* mqttGiven = nullptr;
    CLI::Option* operatorGiven = nullptr;

    StationArguments(); // the defaults the help shows
};

void declareStationOptions(CLI::App& command, StationArguments& given);
// Only who and where, and where runs are kept and published (--db, --mqtt,
// --part, --station, --operator): a plan's run takes its lines from its plan.
void declareWhoOptions(CLI::App& command, StationArguments& given);

// Each throws UsageError naming the option that is wrong.
SelftestSetup stationSetup(const StationArguments& given);
// Who and where, where the run is kept and published, as both programs take
// them (dio-cli adds the serial and its own files; the window, the serial
// scanned).
SelftestOutput stationOutput(const StationArguments& given);
// --db's file, where given: a file name, never empty; a name SQLite would take
// otherwise (":memory:", a "file:" URI) is the file of that name in the
// current folder.
std::optional<std::string> databaseFile(const CLI::Option* given, const std::string& name);
inline constexpr const char* kDbHelp =
    "记录库文件（默认用户数据文件夹里的 dio-panel/results.sqlite）";
// The broker --mqtt names, checked with the station's name that becomes a
// level of its topics.
std::optional<mqtt::BrokerUrl> stationBroker(const StationArguments& given);
// Refuses a name holding a control character: a line break in a serial
// number would forge a run in the text history.
void requirePrintable(const std::string& option, const std::string& value);

} // namespace cli
