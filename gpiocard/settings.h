#pragma once
// How the GPIO driver reaches its lines, read from `adcard-gpio.conf` beside
// the library or from ADCARD_GPIO (inline, separated by ';', or the absolute
// path of a file): "key = value" lines, '#' starting a comment.
//   chip       the GPIO chip: its node (/dev/gpiochip0), its name
//              (gpiochip0) or its label (no default)
//   outputs    the output lines, in the card's order: offsets or ranges of
//   inputs     them ("0-7,12"), or the names a device tree gives ("K1,K2");
//              as many of each, 8 to 128, a multiple of 8
//   bias       of the inputs: as-is, pull-up, pull-down or disabled (as-is)
//   settling   milliseconds a read waits after the last write (0)
//   caption    the board's three numbers for IOCtl (0 0 0)

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace gpiocard {

enum class Bias { AsIs, PullUp, PullDown, Disabled };

// A line by its offset on the chip or by its name.
using LineName = std::variant<unsigned, std::string>;

struct Settings {
    std::string chip;
    std::vector<LineName> outputs, inputs;
    Bias bias = Bias::AsIs;
    int settlingMs = 0;
    std::array<int, 3> caption{0, 0, 0};
};

// The settings the text gives; none, and `error` naming the setting that is
// wrong and why, where it is malformed.
std::optional<Settings> parseSettings(const std::string& text, std::string& error);

} // namespace gpiocard
