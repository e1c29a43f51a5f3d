#include "card_commands.h"

#include "convert/format.h"
#include "core/base/console.h"
#include "core/card/card.h"
#include "core/options/arguments.h"
#include "core/options/option_forms.h"
#include "driver/card_shape.h"

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

ExitStatus Subcommand<InfoCommand>::run(const InfoCommand&, Card& card) {
    const std::string caption = card.boardCaption();
    say("驱动程序：" + card.driverPath());
    if (const std::string device = card.description(); !device.empty())
        say("设备：" + device);
    say("板卡信息：" + caption);
    return ExitStatus::Ok;
}

ExitStatus Subcommand<GetSetup>::run(const GetSetup& setup, Card& card) {
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
        return ExitStatus::Ok;
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
    return ExitStatus::Ok;
}

ExitStatus Subcommand<SetSetup>::run(const SetSetup& setup, Card& card) {
    // Every setting within the card's lines before anything is sent.
    for (const BitSetting& s : setup.bits)
        card.requireOutputChannel(s.channel, "");
    for (const ByteSetting& s : setup.groups)
        card.requireOutputChannel((s.group + 1) * card::kLinesPerGroup,
                                  "通道组 " + std::to_string(s.group) + "：");
    for (const BitSetting& s : setup.bits)
        card.writeBit(s.channel, s.value);
    for (const ByteSetting& s : setup.groups)
        card.writeByte(s.group, s.byte);
    return ExitStatus::Ok;
}

Finish<InfoCommand> Subcommand<InfoCommand>::declare(CLI::App& app) {
    subcommand(app, "info", "驱动程序文件和板卡信息（同测试面板）");
    return [] { return InfoCommand{}; };
}

Finish<GetSetup> Subcommand<GetSetup>::declare(CLI::App& app) {
    struct Typed {
        std::string words = std::to_string(GetSetup().words),
                    format = convert::nameIn(kGetFormatNames, GetSetup().format);
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* get = subcommand(app, "get", "读输入字：十六进制和各位");
    defaulted(get->add_option("-w,--words", typed->words,
                              "读几个字，1 到 " + std::to_string(card::kMaxInputWords) +
                                  "（默认同测试面板）"),
              "N");
    defaulted(get->add_option("-f,--format", typed->format, choices(kGetFormatNames)), "FORMAT");
    return [typed] {
        return GetSetup{
            static_cast<int>(parseNumber(typed->words, "--words", 1, card::kMaxInputWords)),
            choice("--format", typed->format, kGetFormatNames)};
    };
}

Finish<SetSetup> Subcommand<SetSetup>::declare(CLI::App& app) {
    struct Typed {
        std::vector<std::string> settings;
        bool bytes = false;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* set =
        subcommand(app, "set",
                   "设输出：通道=0|1（Zan_DOBit），或 --byte 通道组=十六进制字节（Zan_DO）。"
                   "先检查全部参数，有一个不对就什么也不发");
    set->add_option("SETTINGS", typed->settings, "如 9=1 17=0，或与 --byte 一起 0=FF 1=3C")
        ->required()
        ->type_name("KEY=VALUE");
    set->add_flag("-b,--byte", typed->bytes, "按字节：通道组 0 到 15，字节 00 到 FF");
    return [typed] {
        if (typed->bytes)
            return SetSetup{true, {}, parseByteSettings(typed->settings)};
        return SetSetup{false, parseBitSettings(typed->settings), {}};
    };
}

} // namespace cli
