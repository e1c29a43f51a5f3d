#include "commands.h"

#include "cli/arguments.h"
#include "cli/card.h"
#include "cli/console.h"
#include "cli/errors.h"
#include "cli/selftest/on_card.h"
#include "convert/format.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace cli {
namespace {

void say(const std::string& text) {
    write(Stream::Out, text + "\n");
}

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

int showInfo(Card& card) {
    const std::string caption = card.boardCaption();
    say("驱动程序：" + card.driverPath());
    say("板卡信息：" + caption);
    return 0;
}

int showInputs(Card& card, int words, GetFormat format) {
    const std::vector<std::int16_t> read = card.readWords(words);
    if (format == GetFormat::Json) {
        nlohmann::ordered_json hex = nlohmann::ordered_json::array();
        std::vector<int> values;
        for (std::int16_t word : read) {
            hex.push_back(hexWord(word));
            values.push_back(static_cast<std::uint16_t>(word));
        }
        say(nlohmann::ordered_json{{"words", values}, {"hex", hex}}.dump());
        return 0;
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
    return 0;
}

int setBits(Card& card, const std::vector<BitSetting>& settings) {
    for (const BitSetting& s : settings)
        card.writeBit(s.channel, s.value);
    return 0;
}

int setBytes(Card& card, const std::vector<ByteSetting>& settings) {
    for (const ByteSetting& s : settings)
        card.writeByte(s.group, s.byte);
    return 0;
}

int watch(Card& card, const WatchSetup& setup) {
    using Clock = std::chrono::steady_clock;
    Watcher watcher(setup.channels, setup.wiring, setup.format, setup.utc);
    catchInterrupts();
    const auto start = Clock::now();
    for (auto next = start;; next += setup.interval) {
        write(Stream::Out,
              watcher.take(card.readWords(watcher.words()), std::chrono::system_clock::now()));
        const bool enough = setup.count > 0 && watcher.changes() >= setup.count;
        const bool over = setup.duration && Clock::now() - start >= *setup.duration;
        if (enough || over || interrupted())
            break;
        // Polls keep their rhythm; a slow read delays only the next.
        pause(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(next + setup.interval, Clock::now()) - Clock::now()));
        if (interrupted())
            break;
    }
    write(Stream::Out, watcher.summary(std::chrono::system_clock::now()));
    return 0;
}

int runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output) {
    std::ofstream report;
    if (!output.report.empty()) { // before any line is driven
        report.open(output.report);
        if (!report)
            throw UsageError("写不了报告文件“" + output.report + "”");
    }
    catchInterrupts();
    const selftest::Report result = selftestOnCard(card, setup);
    const std::string json = selftest::reportJson(result);
    if (report)
        report << json << "\n";
    if (output.json) {
        say(json);
    } else {
        say(selftest::summaryText(result));
        for (const std::string& line : selftest::faultTexts(result))
            say("  " + line);
        say("共写 " + std::to_string(result.patterns) + " 个测试图样，各通道已复位为 0。");
    }
    return result.faults.empty() ? 0 : 1;
}

} // namespace cli
