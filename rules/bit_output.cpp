#include "bit_output.h"

#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/val.h"

#include <algorithm>

namespace rules {

int channelFromText(std::string_view text) {
    const double channel = std::clamp(convert::RoundHalfEven(convert::Val(text)),
                                      double{kChannelMin}, double{kChannelMax});
    return convert::ToInteger(channel);
}

int bitValueFromText(std::string_view text) {
    return convert::RoundHalfEven(convert::Val(text)) == 0 ? 0 : 1;
}

std::string toggledBitText(std::string_view text) {
    return convert::Str(convert::Val(text) == 0 ? 1 : 0);
}

} // namespace rules
