#include "commands.h"

#include "convert/format.h"
#include "core/base/console.h"
#include "core/card/card.h"

#include <nlohmann/json.hpp>

namespace cli {
namespace {

// Four hexadecimal digits, as the word's 16-bit pattern.
std::string hexWord(std::int16_t word) {
    const std::string digits = convert::Hex(word);
    return std::string(4 - digits.size(), '0') + digits;
}

// Bits 7 down to 0: an input port's eight lines.
std::string bitRow(std::int16_t word) {
    std::string row;
    for (int bit = 7; bit >= 0; --bit)
        row += std::string(row.empty() ? "" : " ") + ((word >> bit & 1) ? "1" : "0");
    return row;
}

} // namespace

void showInfo(Card& card) {
    const std::string caption = card.boardCaption();
    say("驱动程序：" + card.driverPath());
    say("板卡信息：" + caption);
}

void showInputs(Card& card, const GetSetup& setup) {
    const GetFormat format = setup.format;
    card.requireInputWords(setup.words, "--words " + std::to_string(setup.words) + "：");
    const std::vector<std::int16_t> read = card.readWords(setup.words);
    if (format == GetFormat::Json) {
        nlohmann::ordered_json hex = nlohmann::ordered_json::array();
        std::vector<int> values;
        for (std::int16_t word : read) {
            hex.push_back(hexWord(word));
            values.push_back(static_cast<std::uint16_t>(word));
        }
        say(nlohmann::ordered_json{{"words", values}, {"hex", hex}}.dump());
        return;
    }
    if (format != GetFormat::Hex)
        // Over the bits: "字 0 ：" is seven columns wide, "0000  " six more.
        say(std::string(format == GetFormat::Bits ? 3 : 9, ' ') + "位：7 6 5 4 3 2 1 0");
    for (std::size_t i = 0; i < read.size(); ++i) {
        const std::string label = "字 " + std::to_string(i) + (i < 10 ? " " : "") + "：";
        if (format == GetFormat::Hex)
            say(label + hexWord(read[i]));
        else if (format == GetFormat::Bits)
            say(label + bitRow(read[i]));
        else
            say(label + hexWord(read[i]) + "  " + bitRow(read[i]));
    }
}

void setOutputs(Card& card, const SetSetup& setup) {
    for (const BitSetting& s : setup.bits)
        card.writeBit(s.channel, s.value);
    for (const ByteSetting& s : setup.groups)
        card.writeByte(s.group, s.byte);
}

} // namespace cli
