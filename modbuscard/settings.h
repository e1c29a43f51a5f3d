#pragma once
// How the Modbus TCP driver reaches its module, read from `adcard-modbus.conf`
// or from ADCARD_MODBUS: "key = value" lines ('#' starts a comment), or the
// same inline separated by ';', or "host:port" alone, every other setting at
// its default.
//   host            the module's address (no default)
//   port            502
//   unit            the unit id, 1
//   inputs          the first discrete input's address, 0
//   coils           the first coil's address, 0
//   registers       the first holding register's address; unset: a group is
//                   written as eight coils, set: as its register
//   lines           how many lines the module has, a multiple of 8 up to 128 (128)
//   timeout         per request, in milliseconds ("100" or "100ms"; 100)
//   caption         the board's three numbers for IOCtl ("51 8 1"); unset:
//                   read from the module's answer to function 17

#include <array>
#include <optional>
#include <string>

namespace modbuscard {

struct Settings {
    std::string host;
    int port = 502;
    int unit = 1;
    int inputs = 0, coils = 0;
    std::optional<int> registers;
    int lines = 128;
    int timeoutMs = 100;
    std::optional<std::array<int, 3>> caption;
};

// The settings the text gives; none, and `error` naming the setting that is
// wrong and why, where it is malformed.
std::optional<Settings> parseSettings(const std::string& text, std::string& error);

} // namespace modbuscard
