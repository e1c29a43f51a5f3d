#include "input_captions.h"

#include "convert/format.h"
#include "driver/dlldef.h"

namespace rules {
namespace {

constexpr const char* kGap = "   ";

std::string bitNumberHeader() {
    std::string header;
    for (int i = 7; i >= 0; --i)
        header += kGap + convert::Hex(static_cast<std::int16_t>(i));
    return header;
}

std::string wordCaption(std::int16_t word) {
    return convert::Hex(word) + kGap + bitRow(word);
}

} // namespace

std::string bitRow(std::int16_t word) {
    std::string row;
    for (int i = 7; i >= 0; --i)
        row += std::string(kGap) + ((word & (1 << i)) == 0 ? "0" : "1");
    return row;
}

InputCaptions inputCaptions(const std::array<std::int16_t, kInputWordCount>& w) {
    static const std::string header = "         " + bitNumberHeader();
    return {convert::Hex(w[0]) + "-" + convert::Hex(w[1]) + "-" + convert::Hex(w[2]) + "-" +
                convert::Hex(w[3]),
            wordCaption(w[0]), header, wordCaption(w[1])};
}

InputCaptions readInputs(driver::DllDef& dll) {
    auto& words = dll.diBuffer;
    dll.Zan_DI(kInputWordCount, words.data());
    return inputCaptions({words[0], words[1], words[2], words[3]});
}

} // namespace rules
