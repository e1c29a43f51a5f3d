#pragma once

#include "core/base/errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace driver {
class DllDef;
}

namespace cli {

// The card as dio-cli and dio-station use it: through the panel's binding and
// its buffers, every call's result checked.
class Card {
public:
    explicit Card(driver::DllDef& dll) : dll_(dll) {}

    // The board's identification as the panel shows it.
    std::string boardCaption();
    // The first `count` input words (1 to 32).
    std::vector<std::int16_t> readWords(int count);
    // Throws UsageError, naming what asks for them, where the driver says it
    // has fewer input words than `count` (drivers of this project say so; the
    // card's own driver does not, and is not checked).
    void requireInputWords(int count, const std::string& asking);
    // Throws UsageError, naming what asks for it, where the driver says it has
    // fewer lines than `channel` (this project's drivers have as many output
    // lines as inputs, eight an input word; the card's own is not checked).
    void requireOutputChannel(int channel, const std::string& asking);
    void writeBit(int channel, int value);
    void writeByte(int group, int byte);

    std::string driverPath() const;
    // The device the driver reaches, as the system names it, or "".
    std::string description();
    // Which card this is, as the driver says: "" for the card's own driver,
    // which reaches the one card.
    std::string id();
    // Whether the driver says why a call failed (one of this project's): then
    // a failure may pass, as a network link's does.
    bool explainsFailures();
    long calls() const { return calls_; }

private:
    long checked(long result, const std::string& call);

    driver::DllDef& dll_;
    long calls_ = 0;
};

} // namespace cli
