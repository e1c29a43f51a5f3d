// dio-cli's readings of what is typed, and its watch.
#include "cli/watch/watcher.h"
#include "core/base/errors.h"
#include "core/card/wiring.h"
#include "core/mqtt/topics.h"
#include "core/options/arguments.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace cli;

// The message of the UsageError a call throws, or "" when it throws none.
template <typename F> std::string refusal(F call) {
    try {
        call();
    } catch (const UsageError& e) {
        return e.what();
    }
    return "";
}

std::string joined(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers)
        text += (text.empty() ? "" : " ") + std::to_string(n);
    return text;
}

TEST(Arguments, ReadChannelListsAsTyped) {
    const std::pair<const char*, const char*> lists[] = {{"1-8,17", "1 2 3 4 5 6 7 8 17"},
                                                         {"128,1,1", "1 128"},
                                                         {"１－３", "1 2 3"},
                                                         {"0", ""},
                                                         {"129", ""},
                                                         {"3-1", ""},
                                                         {"1,,2", ""},
                                                         {"", ""},
                                                         {"x", ""}};
    for (const auto& [list, channels] : lists) {
        std::vector<int> read;
        const std::string refused = refusal([&, list = list] { read = parseChannels(list); });
        EXPECT_EQ(joined(read), channels) << list;
        EXPECT_EQ(refused.empty(), *channels != '\0') << list;
    }
}

// Lines (bit settings) or groups (byte settings): what is read, or "" for a
// refusal.
TEST(Arguments, ReadSettingsAsTyped) {
    const std::tuple<bool, std::vector<std::string>, const char*> settings[] = {
        {false, {"9=1", "1=0", "128=1"}, "9 1 1 0 128 1"},
        {false, {"１２＝１"}, "12 1"},
        {false, {"9=2"}, ""},
        {false, {"0=1"}, ""},
        {false, {"9=1", "9=0"}, ""},
        {false, {"9"}, ""},
        {false, {"=1"}, ""},
        {false, {"9=1", "x=1"}, ""},
        {true, {"0=FF", "15=0x3c", "1=&H5"}, "0 255 15 60 1 5"},
        {true, {"１＝ＦＦ"}, "1 255"},
        {true, {"16=1"}, ""},
        {true, {"0=100"}, ""},
        {true, {"0=G"}, ""},
        {true, {"0=1", "0=2"}, ""}};
    for (const auto& [bytes, arguments, read] : settings) {
        std::vector<int> values;
        refusal([&, bytes = bytes, &arguments = arguments] {
            if (bytes)
                for (const ByteSetting& s : parseByteSettings(arguments))
                    values.insert(values.end(), {s.group, s.byte});
            else
                for (const BitSetting& s : parseBitSettings(arguments))
                    values.insert(values.end(), {s.channel, s.value});
        });
        EXPECT_EQ(joined(values), read) << arguments.front();
    }
}

// Durations and whole numbers: what is read, or -1 for a refusal.
TEST(Arguments, ReadDurationsAndNumbersAsTyped) {
    const std::pair<const char*, long> durations[] = {
        {"200ms", 200}, {"5s", 5000}, {"1.5s", 1500}, {"2m", 120000}, {"1h", 3600000},
        {"3", 3000},    {"0", -1},    {"-1s", -1},    {"5x", -1},     {"ms", -1},
        {"inf", -1},    {"0x10", -1}, {" 1s", -1},    {"1.5.3s", -1}, {"１ｓ", 1000}};
    for (const auto& [text, milliseconds] : durations) {
        long read = -1;
        refusal([&, text = text] { read = static_cast<long>(parseDuration(text, "-i").count()); });
        EXPECT_EQ(read, milliseconds) << text;
    }
    const std::pair<const char*, long> numbers[] = {{"17", 17},   {"１７", 17}, {"0", 0},
                                                    {"33", -1},   {"-1", -1},   {" 1", -1},
                                                    {"0x10", -1}, {"", -1}};
    for (const auto& [text, value] : numbers) {
        long read = -1;
        refusal([&, text = text] { read = parseNumber(text, "--words", 0, 32); });
        EXPECT_EQ(read, value) << text;
    }
}

// A map file wires channels elsewhere; a wrong line is named by its number.
TEST(Arguments, ReadAWiringMap) {
    const std::string path = testing::TempDir() + "dio-map.txt";
    std::ofstream(path)
        << "# channel word bit\n5 3 7 door[0]\n\n  9 0 0 # moved\n1 31 15\n128 0 1\n";
    const Wiring wiring = Wiring::fromFile(path);
    EXPECT_EQ(wiring.input(5).word * 16 + wiring.input(5).bit, 3 * 16 + 7);
    EXPECT_EQ(wiring.input(1).word * 16 + wiring.input(1).bit, 31 * 16 + 15) << "the corners";
    EXPECT_EQ(wiring.input(128).word * 16 + wiring.input(128).bit, 1);
    EXPECT_EQ(wiring.input(6).word * 16 + wiring.input(6).bit, 0 * 16 + 5);
    EXPECT_EQ(wiring.wordsFor({2, 5}), 4);
    EXPECT_EQ(wiring.wordsFor({1, 5}), 32);
    EXPECT_EQ(wiring.name(5), "door[0]");
    EXPECT_EQ(wiring.name(9), "");
    std::ofstream(path) << "\xEF\xBB\xBF"
                           "5 3 7\n"; // Notepad's byte-order mark
    EXPECT_EQ(Wiring::fromFile(path).input(5).word, 3);
    // What is wrong, and the line's number where there is one.
    const std::pair<const char*, const char*> wrong[] = {
        {"5 3 7\n6 32 0\n", "第 2 行"},
        {"5 3 7\n5 0 0\n", "第 2 行不对：通道 5 已在第 1 行接过"},
        {"5 3 7\n6 3 7\n", "第 2 行不对：输入字 3 的位 7 已在第 1 行接给了另一条通道"},
        {"5 3 7 a b\n", "第 1 行"},
        {"5 3 7 门\n", "第 1 行不对：名称“门”只能由"},
        {"5 3 7 a\n6 3 6 a\n", "第 2 行不对：名称“a”已在第 1 行用过"},
        {"5 3 7 ch6\n", "第 1 行不对：名称“ch6”是另一条通道在波形里的默认名"},
        {"# nothing\n", "里没有一行接线"}};
    for (const auto& [text, said] : wrong) {
        std::ofstream(path) << text;
        EXPECT_NE(refusal([&] { Wiring::fromFile(path); }).find(said), std::string::npos) << text;
    }
    // Channel 9 moved onto channel 1's input: fine alone, refused with channel 1 tested.
    std::ofstream(path) << "9 0 0\n";
    EXPECT_EQ(refusal([&] { Wiring::fromFile(path).requireOwnInputs({2, 9}); }), "");
    EXPECT_NE(refusal([&] {
                  Wiring::fromFile(path).requireOwnInputs({1, 2, 9});
              }).find("通道 1 和 9 按接线表都接到输入字 0 的位 0"),
              std::string::npos);
    EXPECT_NE(refusal([] { Wiring::fromFile("/nonexistent/map"); }), "");
    EXPECT_NE(refusal([] { Wiring::fromFile("/dev/zero"); }).find("太大"), std::string::npos);
    EXPECT_NE(refusal([] { Wiring::fromFile(testing::TempDir()); }).find("是个文件夹"),
              std::string::npos);
}

// The state first, then each change with its time, then the changes counted;
// in each format.
// A topic's station: only "<prefix>/<station>/selftest" has one. A kept
// session also brings what another prefix's subscription matched.
TEST(Topics, OnlyThePrefixsOwnTopicsNameAStation) {
    struct Row {
        const char *name, *topic, *prefix, *station; // nullptr: none
    };
    const Row rows[] = {
        {"its own", "plant/hall-b/L3/selftest", "plant/hall-b", "L3"},
        {"no prefix", "L3/selftest", "", "L3"},
        {"another hall", "plant/hall-a/L3/selftest", "plant/hall-b", nullptr},
        {"shorter than the prefix", "plant/x/selftest", "plant/hall-b/much/longer", nullptr},
        {"the prefix but a level's start", "plant/hall-b/L3/selftest", "plant/hall", nullptr},
        {"a level more", "plant/hall-b/L3/x/selftest", "plant/hall-b", nullptr},
        {"another leaf", "plant/hall-b/L3/stored", "plant/hall-b", nullptr},
        {"no station", "plant/hall-b//selftest", "plant/hall-b", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<std::string> station =
            mqtt::stationOf(row.topic, row.prefix, "selftest");
        EXPECT_EQ(station.value_or("(none)"), row.station ? row.station : "(none)");
    }
}

TEST(Watch, PrintsTheStateThenEachChange) {
    const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(1765167296789));
    const std::vector<std::vector<std::int16_t>> polls = {{0x0100}, {0x0101}, {0x0101}, {0x0001}};
    const std::pair<WatchFormat, const char*> cases[] = {
        {WatchFormat::Text, "2025-12-08T04:14:56.789Z  初始状态：通道 9 为 1，其余为 0\n"
                            "2025-12-08T04:14:56.789Z  通道 1 → 1\n"
                            "2025-12-08T04:14:56.789Z  通道 9 → 0\n"
                            "2025-12-08T04:14:56.789Z  变化次数：通道 1：1 次，通道 9：1 次\n"},
        {WatchFormat::Csv, "time,event,channel,value\n2025-12-08T04:14:56.789Z,initial,1,0\n"
                           "2025-12-08T04:14:56.789Z,initial,9,1\n"
                           "2025-12-08T04:14:56.789Z,change,1,1\n"
                           "2025-12-08T04:14:56.789Z,change,9,0\n"
                           "2025-12-08T04:14:56.789Z,changes,1,1\n"
                           "2025-12-08T04:14:56.789Z,changes,9,1\n"},
        {WatchFormat::Jsonl,
         "{\"time\":\"2025-12-08T04:14:56.789Z\",\"event\":\"initial\",\"channel\":1,\"value\":0}\n"
         "{\"time\":\"2025-12-08T04:14:56.789Z\",\"event\":\"initial\",\"channel\":9,\"value\":1}\n"
         "{\"time\":\"2025-12-08T04:14:56.789Z\",\"event\":\"change\",\"channel\":1,\"value\":1}\n"
         "{\"time\":\"2025-12-08T04:14:56.789Z\",\"event\":\"change\",\"channel\":9,\"value\":0}\n"
         "{\"time\":\"2025-12-08T04:14:56.789Z\",\"event\":\"changes\",\"counts\":{\"1\":1,\"9\":1}"
         "}\n"}};
    for (const auto& [format, printed] : cases) {
        Watcher watcher({1, 9}, Wiring(), format, true);
        std::string all;
        for (const auto& words : polls)
            all += watcher.take({words.front(), static_cast<std::int16_t>(words.front() >> 8)}, at);
        EXPECT_EQ(all + watcher.summary(at), printed);
        EXPECT_EQ(watcher.changes(), 2);
    }
}

// The waveform: the state at time 0, then each poll's changes at its time in
// microseconds; a gap unknown from its start, every value given again after.
TEST(Watch, DumpsWaveformsWithGapsUnknown) {
    using namespace std::chrono;
    const auto at = system_clock::time_point(milliseconds(1765167296789));
    Watcher watcher({1, 9}, Wiring(), WatchFormat::Vcd, true);
    const std::string header = watcher.take({0, 1}, at);
    EXPECT_NE(header.find("$var wire 1 ! ch1 $end\n$var wire 1 \" ch9 $end\n"), std::string::npos);
    EXPECT_EQ(header.substr(header.find("$enddefinitions")),
              "$enddefinitions $end\n#0\n$dumpvars\n0!\n1\"\n$end\n");
    EXPECT_EQ(watcher.take({1, 1}, at + milliseconds(20)), "#20000\n1!\n");
    EXPECT_EQ(watcher.take({1, 1}, at + milliseconds(40)), "");
    EXPECT_EQ(watcher.gap(at + milliseconds(50), at + milliseconds(90)), "#50000\nx!\nx\"\n");
    EXPECT_EQ(watcher.take({1, 0}, at + milliseconds(90)), "#90000\n1!\n0\"\n");
    EXPECT_EQ(watcher.summary(at + milliseconds(80)), "#90000\n") << "times never go back";
    EXPECT_EQ(watcher.changes(), 2);
}

} // namespace
