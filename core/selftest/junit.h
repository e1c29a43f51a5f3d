#pragma once

#include "core/selftest/report.h"

#include <chrono>
#include <string>

namespace cli::selftest {

// Who tested which card where: what a test station keeps with a run.
struct Identity {
    std::string serial, part, station, operatorName;
};

struct Run : Identity {
    std::string uuid; // its identity across the plant
    std::chrono::system_clock::time_point start;
    std::chrono::duration<double> duration{};
};

// The run as JUnit XML, as CI dashboards and test report tools read it: one
// test suite named for the serial number, with the part, station and operator
// as its properties; one test case per tested channel, failed with its faults.
// Text for an XML attribute or element, well-formed whatever was typed.
std::string xmlEscaped(const std::string& text);

std::string junitXml(const Report& report, const std::vector<int>& channels, const Run& run);

} // namespace cli::selftest
