// Any text as the Modbus driver's settings: settings every address of which
// the driver can send as configured (an exact IPv4 address, a unit the
// library sends, lines that stay below 65536), or an error that says why.
#include "check.h"
#include "convert/ipv4.h"
#include "modbuscard/settings.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const std::optional<modbuscard::Settings> read = modbuscard::parseSettings(text, why);
    CHECK(read.has_value() == why.empty());
    if (!read)
        return 0;
    CHECK(convert::ipv4Problem(read->host).empty());
    CHECK(read->port >= 1 && read->port <= 65535);
    CHECK((read->unit >= 0 && read->unit <= 247) || read->unit == 255);
    CHECK(read->lines >= 8 && read->lines <= 128 && read->lines % 8 == 0);
    CHECK(read->inputs >= 0 && read->inputs + read->lines - 1 <= 65535);
    CHECK(read->coils >= 0 && read->coils + read->lines - 1 <= 65535);
    CHECK(!read->registers ||
          (*read->registers >= 0 && *read->registers + read->lines / 8 - 1 <= 65535));
    CHECK(read->timeoutMs >= 1 && read->timeoutMs <= 60000);
    return 0;
}
