#pragma once
// A test plan: the steps that test a unit's digital I/O, as a person writes
// them in a plan file, read and checked before anything is driven.

#include "core/base/errors.h"
#include "core/card/wiring.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cli::plan {

// Where a value stands in the plan's text, from 1.
struct Where {
    int line = 0, column = 0;
};

// A plan that cannot be run as written: nothing has been driven. Its text
// starts with the file, line and column of what is wrong.
class PlanError : public UsageError {
public:
    PlanError(const std::string& source, Where where, const std::string& reason);
};

// An input the plan reads: a card input, word and bit, with its name.
struct Input {
    std::string name;
    InputBit bit;
};

struct Expectation {
    int input; // in Plan::inputs
    bool value;
};

struct Step {
    std::string name;
    Where where;
    // The lines it sets first: channel and value (a group byte as its eight).
    std::vector<std::pair<int, bool>> drive;
    std::chrono::milliseconds settle{0};
    // What it reads then; don't-care inputs are left out.
    std::vector<Expectation> expect;
    // Read until the inputs match or this time, from the drive, runs out.
    std::optional<std::chrono::milliseconds> within;
    // A loopback self-test over these channels instead of drive and expect.
    std::vector<int> selftest;
    int repeat = 1;
    bool stopOnFail = true;
};

struct Plan {
    std::string name, version;
    std::string digest; // of its text, so that a run names the plan exactly
    std::vector<std::pair<std::string, int>> outputs; // name and channel
    std::vector<Input> inputs;
    std::vector<Step> steps;
    // Its retest rule, where it gives one ([retest]): how many retests a
    // serial gets, for which findings' kinds.
    std::optional<int> retests;
    std::optional<std::vector<std::string>> retestOn;

    // Every channel a step drives (not the self-tests'), ascending.
    std::vector<int> drivenChannels() const;
    // Every output channel it uses: those and the self-tests', ascending.
    std::vector<int> channels() const;
    // How many input words its expectations need read.
    int inputWords() const;
};

// The kinds of finding a plan's runs name, which a retest rule may list.
inline constexpr const char* kFindingKinds[] = {"not-met", "intermittent", "stuck-0",  "stuck-1",
                                                "short",   "crossed",      "undecided"};

// The plan a text holds (`source` names it in errors), checked: names
// declared once and of one direction, channels used once, values in range.
// Throws PlanError.
Plan parsePlan(const std::string& text, const std::string& source);
// The plan in a file (at most 1 MiB); PlanError, or UsageError where the file
// cannot be read.
Plan readPlan(const std::string& path);

} // namespace cli::plan
