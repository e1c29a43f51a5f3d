// Any bytes as a text a user might type into any box: through Val, as decimal
// and as "&H", and through the panel's rules, which narrow and write it back.
// None fails, and what goes to the card and back into the boxes is in range.
#include "check.h"
#include "convert/format.h"
#include "convert/val.h"
#include "rules/bit_output.h"
#include "rules/byte_output.h"

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Decimal, never NaN; "&H", always a whole number within a Long.
    const double decimal = convert::Val(text), hex = convert::Val("&H" + text);
    CHECK(!std::isnan(decimal) && hex >= -2147483648.0 && hex <= 2147483647.0 &&
          hex == std::floor(hex));
    // The channel box settles as " N" with the spinner at N: bit index N - 1.
    const int channel = rules::channelFromText(text), bit = rules::bitValueFromText(text);
    CHECK(channel >= 1 && channel <= 128 &&
          rules::channelFromText(convert::Str(channel)) == channel);
    CHECK((bit == 0 || bit == 1) && rules::byteFromHexText(text) >= 0 &&
          rules::byteFromHexText(text) <= 255);
    // A group is sent, or refused with a message quoting the text (or its start).
    const std::string refused = rules::groupRefusedMessage(text), open = "通道组“";
    CHECK(rules::groupFromText(text) || (refused.compare(0, open.size(), open) == 0 &&
                                         refused.size() <= open.size() + text.size() + 60));
    return 0;
}
