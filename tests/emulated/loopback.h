#pragma once
// The emulated devices' wiring: each of up to 128 output lines wired back to
// the input line of its number, with the simulated card's faults (its
// ADCARD_SIM_FAULTS text), so that a self-test names the same faults on an
// emulated card as on the simulated one. A line nothing drives reads as an
// open one does.

#include "simcard/faults.h"

#include <array>
#include <random>
#include <string>

namespace emulated {

class Loopback {
public:
    // Throws std::invalid_argument where the faults' text is malformed.
    explicit Loopback(const std::string& faults);

    void drive(int line, bool value) { outputs_[line] = value; }
    void release(int line) { driven_[line] = false; }
    void hold(int line) { driven_[line] = true; }
    bool output(int line) const { return outputs_[line]; }
    bool driven(int line) const { return driven_[line]; }
    // What every input reads now (an intermittent one anew at each call).
    std::array<bool, simcard::kLines> inputs();

private:
    simcard::Faults faults_;
    std::array<bool, simcard::kLines> outputs_{};
    std::array<bool, simcard::kLines> driven_{};
    std::minstd_rand random_;
};

} // namespace emulated
