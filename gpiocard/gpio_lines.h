#pragma once
// A GPIO chip's lines as the card's, requested through libgpiod: the one file
// that calls it (1.6, Debian 12's), so that moving to 2.x's requests touches
// this file alone. Outputs are requested at 0 and set back to 0 before they
// are released, when this ends.

#include "gpiocard/settings.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace gpiocard {

// A call that failed, and why (UTF-8); `gone` where the chip itself went away.
class GpioError : public std::runtime_error {
public:
    explicit GpioError(const std::string& why, bool gone = false)
        : std::runtime_error(why), gone(gone) {}
    bool gone;
};

class GpioLines {
public:
    // Throws GpioError where the chip or a line cannot be had, naming who
    // holds a line another program has.
    GpioLines(const Settings& settings, const char* consumer);
    ~GpioLines();
    GpioLines(const GpioLines&) = delete;
    GpioLines& operator=(const GpioLines&) = delete;

    // Every output line to its value, in the settings' order.
    void setOutputs(const std::vector<bool>& values);
    std::vector<bool> readInputs();

    const std::string& path() const { return path_; }
    std::string label() const;
    // The chip's device number ("gpio:254:0"): labels need not be unique.
    const std::string& id() const { return id_; }

private:
    [[noreturn]] void fail(const std::string& what) const;
    struct Requested; // libgpiod's requests, up to 64 lines each
    std::string path_, id_;
    std::unique_ptr<Requested> requested_;
};

} // namespace gpiocard
