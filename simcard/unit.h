#pragma once
// A unit under test in place of the loopback cable, as ADCARD_SIM_UNIT
// describes it: a relay board or an input module whose inputs answer the
// card's outputs, each after its own delay. For example
//   1>9@20;2>10@20;!3>11;4>12~@500
// input channel 9 follows output 1 after 20 ms; input 11 is the inverse of
// output 3 at once; input 12 chatters (a contact that bounces: every other
// reading the opposite) once output 4 has stood 500 ms. Inputs the unit does not name read the
// loopback as before (with the faults), so a plan may test the unit and a cable at once.

#include "simcard/card_memory.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace simcard {

struct Unit {
    struct Answer {
        int output = -1; // the 0-based line whose output the input follows, or -1: loopback
        bool inverted = false;
        bool chatters = false;
        std::uint32_t delayMs = 0;
    };
    std::array<Answer, kLines> inputs; // by 0-based input line
};

// The unit, or none and what is wrong in `error` (an input named twice, a
// channel beyond 1 to 128, a delay beyond a minute). "" is no unit: all loopback.
std::optional<Unit> parseUnit(const std::string& description, std::string& error);

// The input line `input` as the unit answers it: the output it follows, as it
// was `delayMs` ago, given when that output last changed (`sinceChange` ms).
// `odd` flips a chattering input on every other reading.
inline bool unitAnswer(const Unit::Answer& answer, bool output, std::uint32_t sinceChange,
                       bool odd = false) {
    const bool settled = sinceChange >= answer.delayMs;
    return ((settled ? output : !output) != answer.inverted) != (answer.chatters && odd);
}

} // namespace simcard
