#pragma once

#include "core/base/errors.h"
#include "core/card/wiring.h"
#include "core/selftest/report.h"
#include "core/selftest/trace.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

namespace cli {

class Card;

struct SelftestSetup {
    std::vector<int> channels; // the output channels driven, each wired back to an input
    Wiring wiring;
    std::chrono::milliseconds settle{10}; // after each pattern, before the inputs are read
    bool progress = false;                // a progress bar on the standard error
    int reads = 2; // reads of each pattern: an input that changes between them is intermittent
    selftest::Codes codes = selftest::Codes::Adaptive;
    // After each pattern read back: how many so far, and how many a sound
    // card takes (a window's progress bar; called on the test's thread). With
    // adaptive codes, the patterns past those are aimed where the readings
    // left something open, as many as that takes.
    std::function<void(int driven, int expected)> onPattern;
    // Set by the program itself to stop the test (a window's cancel button):
    // it ends as a signal ends it, Interrupted(0).
    const std::atomic<bool>* cancel = nullptr;
};

// A whole test whose lines did not all go back to 0 after it: the failure
// names them, and the test's report stands.
class TestedNotReset : public DriverCallFailed {
public:
    TestedNotReset(const DriverCallFailed& notReset, selftest::Report tested)
        : DriverCallFailed(notReset), report(std::move(tested)) {}
    selftest::Report report;
};

// Drives the patterns on the card, reads its inputs back and reports the
// faults. Every channel it drove is set back to 0 when it ends, also when it
// ends early (a failed driver call, Ctrl-C or a cancel: Interrupted); where
// that fails after the whole test, TestedNotReset. `trace` gets the codes and
// each pattern as it is written and what it read, also for a run that ends
// early (its last pattern then perhaps without a reading).
selftest::Report selftestOnCard(Card& card, const SelftestSetup& setup, selftest::Trace& trace);

} // namespace cli
