#include "input_captions.h"

#include "convert/format.h"

namespace rules {
namespace {

constexpr const char* kGap = "   ";

std::string bitNumberHeader() {
    std::string header;
    for (int i = 7; i >= 0; --i)
        header += kGap + convert::Hex(static_cast<std::int16_t>(i));
    return header;
}

// Bits 7 down to 0 of a word, each as three blanks and its digit.
std::string bitRow(std::int16_t word) {
    std::string row;
    for (int i = 7; i >= 0; --i)
        row += std::string(kGap) + ((word & (1 << i)) == 0 ? "0" : "1");
    return row;
}

std::string wordCaption(std::int16_t word) {
    return convert::Hex(word) + kGap + bitRow(word);
}

} // namespace

InputCaptions inputCaptions(const std::array<std::int16_t, kInputWordCount>& w) {
    static const std::string header = "         " + bitNumberHeader();
    return {convert::Hex(w[0]) + "-" + convert::Hex(w[1]) + "-" + convert::Hex(w[2]) + "-" +
                convert::Hex(w[3]),
            wordCaption(w[0]), header, wordCaption(w[1])};
}

} // namespace rules
