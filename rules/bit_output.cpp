#include "bit_output.h"

#include "convert/format.h"
#include "convert/full_width.h"
#include "convert/narrow.h"
#include "convert/val.h"

#include <algorithm>

namespace rules {

namespace {

// A box's number, read from its text as typed, full-width characters included.
double typedNumber(std::string_view text) {
    return convert::Val(convert::foldFullWidth(text));
}

} // namespace

int channelFromText(std::string_view text) {
    const double channel = std::clamp(convert::RoundHalfEven(typedNumber(text)),
                                      double{kChannelMin}, double{kChannelMax});
    return convert::ToInteger(channel);
}

int bitValueFromText(std::string_view text) {
    return convert::RoundHalfEven(typedNumber(text)) == 0 ? 0 : 1;
}

std::string toggledBitText(std::string_view text) {
    return convert::Str(typedNumber(text) == 0 ? 1 : 0);
}

} // namespace rules
