#pragma once
// Where the simulated card keeps its output lines: memory shared by every
// process of the machine's user that loads the card, so that the panel and the
// command line, or two runs of it, drive and read one card, as with hardware;
// the outputs stay as they were set when no process has the card open.

#include "driver/card_shape.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace simcard {

// Lines numbered from 0 here: line l is channel l + 1.
constexpr int kLines = card::kChannels;
using card::kGroups;

// A group's eight lines in one byte (bit b: line 8g + b), so that a byte
// written with Zan_DO is latched whole, as a card does: no reader sees half.
struct CardMemory {
    std::atomic<std::uint8_t> group[kGroups];
    // When each line last changed, in milliseconds of the system's monotonic
    // clock (wrapping): a simulated unit answers after its delay, whichever
    // process drove the line.
    std::atomic<std::uint32_t> changed[kLines];
};

// The monotonic clock in milliseconds, as `changed` keeps it.
std::uint32_t nowMs();

// The shared memory of the card ADCARD_SIM_NAME names ("default" when unset),
// or null and why not (platform code). Only memory of this user's own, that
// no one else may read or write and of the card's size, is used.
CardMemory* openSharedMemory(std::string& why);

// The variable's value from the process's environment in UTF-8, or "" (platform
// code: on Windows from the system's block, which a test may change after loading).
std::string environmentValue(const char* name);

// The name of a card's shared memory, for this user ("default" for an empty
// card name). Names that differ give names that differ: letters, digits and
// '-' stand as they are, every other byte as "_" and two hexadecimal digits.
// Empty where the name is too long for the system.
std::string sharedMemoryName(const std::string& card);

#if defined(_WIN32)
// The file in the user's temporary folder that keeps a card's outputs on
// Windows, where a mapping without one goes with the last process that had it.
std::string backingFile(const std::string& card);
#endif

} // namespace simcard
