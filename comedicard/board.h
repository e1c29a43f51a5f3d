#pragma once
// The board the comedi driver drives, opened through libcomedi: its input and
// output subdevices found and checked, a digital I/O subdevice's channels
// turned into inputs and outputs as the settings say, and put back (their
// values 0 first, then their directions as they were) when it closes.

#include "comedicard/settings.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct comedi_t_struct;

namespace comedicard {

// A call that failed, and why (UTF-8); `gone` where the device itself went
// away (a USB board unplugged), so that it is opened anew at the next call.
class BoardError : public std::runtime_error {
public:
    explicit BoardError(const std::string& why, bool gone = false)
        : std::runtime_error(why), gone(gone) {}
    bool gone;
};

class Board {
public:
    // Throws BoardError where the board cannot be had as the settings say.
    explicit Board(const Settings& settings);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    int lines() const { return static_cast<int>(outputChannels_.size()); }
    // Output line `line` (from 0) to `value`; a group's eight lines (bit b:
    // line 8 * group + b) to the bits of `value`.
    void write(int line, bool value);
    void writeGroup(int group, std::uint8_t value);
    // The input lines, bit l % 8 of byte l / 8.
    std::vector<std::uint8_t> read();

    std::string description() const;
    // Which board this is for the self-test's lock: its device number, so
    // that a link to the node is the same board.
    std::string id() const { return id_; }

private:
    // Output channels (the subdevice's numbers) to their values.
    void writeChannels(const std::vector<std::pair<int, bool>>& wanted);
    void configure(const Settings& settings);
    void putBack();
    [[noreturn]] void fail(const std::string& what) const;

    comedi_t_struct* board_ = nullptr;
    std::string device_, id_;
    unsigned inputs_ = 0, outputs_ = 0;
    std::vector<int> inputChannels_, outputChannels_;
    // A digital I/O subdevice's channels made outputs or inputs here, with
    // the direction each had (none where the driver does not say).
    struct Turned {
        unsigned subdevice;
        int channel;
        int before; // COMEDI_INPUT, COMEDI_OUTPUT, or -1: not known
        int made;   // what the settings made it
    };
    std::vector<Turned> turned_;
    std::chrono::milliseconds settling_;
    std::chrono::steady_clock::time_point lastWrite_;
};

} // namespace comedicard
