#pragma once
// How the comedi driver reaches its board, read from `adcard-comedi.conf`
// beside the library or from ADCARD_COMEDI (inline, separated by ';', or the
// absolute path of a file): "key = value" lines, '#' starting a comment.
//   device           the board's device node (/dev/comedi0)
//   inputs, outputs  the subdevices of the inputs and of the outputs; unset:
//                    the first digital input (output) subdevice, else the
//                    first digital I/O one
//   input-channels   the subdevices' channels that are the panel's lines, in
//   output-channels  order ("0-7,16-23"); unset: the first `lines` channels,
//                    and where one digital I/O subdevice holds both, the
//                    inputs the `lines` channels after the outputs
//   lines            8 to 128, a multiple of 8; unset: as many as the channels
//                    given, else as the subdevices have (at most 128)
//   settling         milliseconds a read waits after the last write (0)
//   caption          the board's three numbers for IOCtl (0 0 0)

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace comedicard {

struct Settings {
    std::string device = "/dev/comedi0";
    std::optional<int> inputs, outputs;
    std::vector<int> inputChannels, outputChannels;
    std::optional<int> lines;
    int settlingMs = 0;
    std::array<int, 3> caption{0, 0, 0};
};

// The settings the text gives; none, and `error` naming the setting that is
// wrong and why, where it is malformed.
std::optional<Settings> parseSettings(const std::string& text, std::string& error);

} // namespace comedicard
