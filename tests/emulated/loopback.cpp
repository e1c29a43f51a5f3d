#include "emulated/loopback.h"

#include <stdexcept>

namespace emulated {

Loopback::Loopback(const std::string& faults) {
    std::string why;
    const auto parsed = simcard::parseFaults(faults, why);
    if (!parsed)
        throw std::invalid_argument("faults: " + why);
    faults_ = *parsed;
    random_.seed(faults_.seed);
}

std::array<bool, simcard::kLines> Loopback::inputs() {
    std::array<bool, simcard::kLines> wires = outputs_;
    for (int line = 0; line < simcard::kLines; ++line)
        wires[line] = wires[line] || !driven_[line]; // pulled up
    return simcard::inputsFor(wires, faults_, random_);
}

} // namespace emulated
