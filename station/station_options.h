#pragma once
// What the station's window is started with: the command line, and a
// settings file for what stays the same at a station. Qt-free.

#include "core/runs/run.h"

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace station {

struct StationSettings {
    cli::SelftestSetup setup;
    cli::SelftestOutput output; // every run recorded: the serial is what the window asks for
    std::size_t chartRuns = 50; // the chart of failing channels over this many runs
    bool operatorGiven = false; // else the window asks once at start
};

struct Help {
    std::string text;
};

// The settings, or the help asked for. Throws cli::UsageError naming what is
// wrong (a settings file that cannot be read included).
std::variant<Help, StationSettings>
parseStationArguments(const std::vector<std::string>& arguments);

} // namespace station
