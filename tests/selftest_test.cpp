// The loopback self-test against an oracle: faults injected into the
// simulated card (the real library, through the driver binding), found again.
#include "core/card/card.h"
#include "core/selftest/on_card.h"
#include "driver/dlldef.h"
#include "sim_card.h"
#include "simcard/faults.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

namespace {

using Faults = std::multiset<std::string>; // "kind wired channels why"
using cli::selftest::Codes;
constexpr Codes kCodes[] = {Codes::Adaptive, Codes::ConstantWeight, Codes::Counting};

std::string fault(const std::string& kind, std::vector<int> channels, const std::string& wired = "",
                  const std::string& why = "") {
    std::ostringstream text;
    text << kind << " " << wired;
    for (int channel : channels)
        text << " " << channel;
    text << " " << why;
    return text.str();
}

Faults found(const cli::selftest::Report& report) {
    Faults faults;
    for (const cli::selftest::Fault& f : report.faults)
        faults.insert(fault(nameOf(f.kind), f.channels, nameOf(f.wired), nameOf(f.why)));
    return faults;
}

struct Selftest : testing::Test {
    OwnSimulatedCard sim;
    driver::DllDef dll{sim.search()};
    cli::Card card{dll};

    cli::selftest::Report run(const std::string& faults, std::vector<int> channels = all(),
                              Codes codes = Codes::Adaptive) {
        sim.faults(faults);
        cli::SelftestSetup setup;
        setup.channels = channels;
        setup.settle = {};
        setup.codes = codes;
        return cli::selftestOnCard(card, setup, trace);
    }
    cli::selftest::Trace trace; // the last run's
    static std::vector<int> all() {
        std::vector<int> channels(cli::kChannels);
        std::iota(channels.begin(), channels.end(), 1);
        return channels;
    }
};

// Random fault sets on random channel subsets: stuck lines, open lines, shorts
// of two and three lines of both kinds, crossings, intermittent inputs (random
// bits, seeded), each channel in one fault at most. The report names exactly these (an open line
// reads as stuck at 1), adds "undecided" for two or more lines reading one value (each stuck, or
// shorted to one that is: no pattern tells), calls the rest sound, takes at
// most twice the code patterns, and leaves every line at 0.
TEST_F(Selftest, FindsEveryInjectedFault) {
    std::mt19937 random(20261208);
    struct Counted {
        int rounds = 0, most = 0;
        long all = 0;
    };
    std::map<Codes, Counted> patterns; // of the rounds without flicker
    for (int round = 0; round < 400; ++round) {
        const Codes codes = kCodes[round % 3];
        std::vector<int> channels = all();
        std::shuffle(channels.begin(), channels.end(), random);
        channels.resize(round % 4 == 0 ? 128 : 8 + random() % 120);
        std::vector<int> free = channels;
        std::sort(channels.begin(), channels.end());
        auto take = [&](std::size_t count) {
            std::vector<int> some(free.end() - count, free.end());
            free.resize(free.size() - count);
            std::sort(some.begin(), some.end());
            return some;
        };
        std::string description;
        Faults expected;
        std::vector<int> zeros, ones;
        std::set<int> faulty;
        const char* kinds[] = {"stuck0",   "stuck1", "open",   "short-and",
                               "short-or", "cross",  "flicker"};
        for (int n = random() % 6; n > 0 && free.size() >= 3; --n) {
            const std::string kind = kinds[random() % 7];
            const auto lines = take(kind.rfind("short", 0) == 0 ? 2 + random() % 2
                                    : kind == "cross"           ? 2
                                                                : 1);
            faulty.insert(lines.begin(), lines.end());
            std::string list;
            for (int line : lines)
                list += (list.empty() ? "" : ",") + std::to_string(line);
            description += kind + "=" + list + ";";
            if (kind == "stuck0" || kind == "stuck1" || kind == "open") {
                expected.insert(fault(kind == "stuck0" ? "stuck-0" : "stuck-1", lines));
                (kind == "stuck0" ? zeros : ones).push_back(lines[0]);
            } else if (kind == "flicker") {
                expected.insert(fault("intermittent", lines));
            } else if (kind == "cross") {
                expected.insert(fault("crossed", lines));
                expected.insert(fault("crossed", {lines[1], lines[0]}));
            } else {
                expected.insert(fault("short", lines, kind == "short-and" ? "and" : "or"));
            }
        }
        for (std::vector<int>* same : {&zeros, &ones})
            if (same->size() >= 2) {
                std::sort(same->begin(), same->end());
                expected.insert(fault("undecided", *same, "", "same-value"));
            }
        description += "seed=" + std::to_string(round);
        const cli::selftest::Report report = run(description, channels, codes);
        EXPECT_EQ(found(report), expected) << description;
        // Its trace, kept as JSON and read back, gives the same report again.
        cli::selftest::Trace kept = trace;
        kept.patterns = cli::selftest::patternsFromJson(
            nlohmann::json::parse(cli::selftest::patternsJson(trace.patterns).dump()),
            channels.size());
        const cli::selftest::Report again = cli::selftest::replay(channels, kept);
        EXPECT_EQ(found(again), found(report)) << description;
        EXPECT_EQ(again.patterns, report.patterns) << description;
        EXPECT_EQ(cli::selftest::traceDisagrees(channels, kept, true, report.faults), "");
        EXPECT_EQ(report.sound, static_cast<int>(channels.size() - faulty.size())) << description;
        // An intermittent input's random readings send the aimed patterns
        // after shorts that are not there: the budget bounds them.
        const int lines = static_cast<int>(channels.size());
        if (description.find("flicker") == std::string::npos) {
            Counted& counted = patterns[codes];
            ++counted.rounds;
            counted.most = std::max(counted.most, report.patterns);
            counted.all += report.patterns;
        }
        EXPECT_LE(report.patterns, description.find("flicker") == std::string::npos
                                       ? 4 * cli::selftest::codeBits(lines)
                                       : cli::selftest::patternBudget(lines))
            << description << " " << convert::nameIn(cli::selftest::kCodesNames, codes);
    }
    for (const auto& [codes, counted] : patterns)
        std::printf("%s, %d rounds of several faults: patterns at most %d, on average %.2f\n",
                    convert::nameIn(cli::selftest::kCodesNames, codes).c_str(), counted.rounds,
                    counted.most, static_cast<double>(counted.all) / counted.rounds);
    sim.faults("");
    EXPECT_EQ(card.readWords(16), std::vector<std::int16_t>(16, 0)) << "every line left at 0";
}

// Faults that read as other faults do, so that no test through the driver can
// tell them apart: the report says "undecided" where it would otherwise guess.
// Lines that read one value may each be stuck or be shorted to one that is; a
// line whose output no input sees may be shorted to a line stuck at the value
// that hides it, or have lost its wire.
TEST_F(Selftest, SaysUndecidedWhereNoPatternTells) {
    // clang-format off
    const std::tuple<const char*, const char*, Faults> cases[] = {
        {"stuck0=5;short-and=5,9", "stuck0=5,9",
         {fault("stuck-0", {5}), fault("stuck-0", {9}), fault("undecided", {5, 9}, "", "same-value")}},
        {"stuck1=5;short-or=5,9", "stuck1=5;open=9",
         {fault("stuck-1", {5}), fault("stuck-1", {9}), fault("undecided", {5, 9}, "", "same-value")}},
        {"stuck1=5;short-and=5,9", "stuck0=5;short-or=5,9",
         {fault("crossed", {9, 5}), fault("undecided", {5, 9}, "", "unseen-output")}},
        {"cross=5,9;stuck0=9", nullptr,
         {fault("stuck-0", {5}), fault("crossed", {5, 9}), fault("undecided", {5, 9}, "", "unseen-output")}}};
    // clang-format on
    const std::vector<int> twelve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (const Codes codes : kCodes)
        for (const auto& [one, other, expected] : cases) {
            EXPECT_EQ(found(run(one, twelve, codes)), expected) << one;
            if (other) { // another set of faults that reads the same
                EXPECT_EQ(found(run(other, twelve, codes)), expected) << other;
            }
        }
}

// A sound card takes the code patterns alone: the least k with C(k, k/2) >= N
// (Sperner's bound), or 2 * ceil(log2(N + 2)) counting.
TEST_F(Selftest, TakesTheCodePatternsOnASoundCard) {
    const std::tuple<Codes, std::vector<int>, int> cases[] = {
        {Codes::Adaptive, all(), 8},        {Codes::Adaptive, {7}, 2},
        {Codes::Adaptive, {1, 2}, 2},       {Codes::Adaptive, {1, 2, 3}, 3},
        {Codes::ConstantWeight, all(), 10}, {Codes::ConstantWeight, {7}, 2},
        {Codes::ConstantWeight, {1, 2}, 2}, {Codes::ConstantWeight, {1, 2, 3}, 3},
        {Codes::Counting, all(), 16},       {Codes::Counting, {7}, 4},
        {Codes::Counting, {1, 2}, 4},       {Codes::Counting, {1, 2, 3}, 6}};
    for (const auto& [codes, channels, patterns] : cases) {
        const cli::selftest::Report report = run("", channels, codes);
        EXPECT_EQ(report.patterns, patterns) << channels.size();
        EXPECT_TRUE(report.faults.empty()) << channels.size();
    }
}

// The card's model without the card: channels (1-based) wired to inputs
// through a permutation of the card's inputs, as a wiring map does.
struct Model {
    simcard::Faults faults;
    std::vector<int> channels;
    std::vector<int> inputOf; // each card line's input position
    std::minstd_rand random;

    std::vector<bool> operator()(const std::vector<bool>& pattern) {
        std::array<bool, simcard::kLines> outputs{};
        for (std::size_t i = 0; i < channels.size(); ++i)
            outputs[channels[i] - 1] = pattern[i];
        const auto inputs = simcard::inputsFor(outputs, faults, random);
        std::vector<bool> reading;
        for (int channel : channels)
            reading.push_back(inputs[inputOf[channel - 1]]);
        return reading;
    }
};

// Every single fault of the lines under test (each stuck at 0 or 1 or open,
// each pair shorted AND and OR, each pair crossed) named exactly, within one
// pattern more than a sound card takes (two counting); also on scattered
// channels read through a scrambled wiring. Prints the pattern counts.
TEST(SelftestCodes, NameEverySingleFaultExactly) {
    const std::vector<int> all = Selftest::all();
    std::vector<int> scattered, scrambled(simcard::kLines);
    for (int channel = 3; channel <= 128; channel += 3)
        scattered.push_back(channel);
    std::iota(scrambled.begin(), scrambled.end(), 0);
    std::shuffle(scrambled.begin(), scrambled.end(), std::mt19937(7));
    const std::vector<int> identity = [&] {
        std::vector<int> same(simcard::kLines);
        std::iota(same.begin(), same.end(), 0);
        return same;
    }();
    const std::tuple<const char*, std::vector<int>, std::vector<int>> cards[] = {
        {"8 lines", {1, 2, 3, 4, 5, 6, 7, 8}, identity},
        {"16 lines", std::vector<int>(all.begin(), all.begin() + 16), identity},
        {"64 lines", std::vector<int>(all.begin() + 64, all.end()), identity},
        {"128 lines", all, identity},
        {"42 lines mapped", scattered, scrambled}};
    for (const Codes codes : kCodes)
        for (const auto& [name, channels, inputOf] : cards) {
            const int lines = static_cast<int>(channels.size());
            std::vector<std::pair<std::string, Faults>> cases;
            for (int c : channels) {
                const std::string at = std::to_string(c);
                cases.push_back({"stuck0=" + at, {fault("stuck-0", {c})}});
                cases.push_back({"stuck1=" + at, {fault("stuck-1", {c})}});
                cases.push_back({"open=" + at, {fault("stuck-1", {c})}});
                for (int d : channels) {
                    if (d <= c)
                        continue;
                    const std::string pair = at + "," + std::to_string(d);
                    cases.push_back({"short-and=" + pair, {fault("short", {c, d}, "and")}});
                    cases.push_back({"short-or=" + pair, {fault("short", {c, d}, "or")}});
                    cases.push_back(
                        {"cross=" + pair, {fault("crossed", {c, d}), fault("crossed", {d, c})}});
                }
            }
            int most = 0;
            long total = 0;
            for (const auto& [description, expected] : cases) {
                std::string error;
                const simcard::Faults parsed = *simcard::parseFaults(description, error);
                Model model{parsed, channels, inputOf, {}};
                for (int line = 0; line < simcard::kLines; ++line) { // where the map reads them
                    model.faults.source[inputOf[line]] = parsed.source[line];
                    model.faults.open[inputOf[line]] = parsed.open[line];
                }
                const auto learned = cli::selftest::learn(lines, std::ref(model), codes);
                ASSERT_EQ(found(cli::selftest::makeReport(channels, learned)), expected)
                    << name << " " << description;
                most = std::max(most, learned.patterns);
                total += learned.patterns;
            }
            const int sound = cli::selftest::codePatterns(lines, codes);
            // Adaptive: one aimed pattern more where codes of two weights hold
            // every line (no chain of three codes), else two.
            std::vector<long> weights; // how many codes of `sound` bits have each weight
            for (int w = 1, count = sound; w < sound; count = count * (sound - w) / (w + 1), ++w)
                weights.push_back(count);
            std::sort(weights.rbegin(), weights.rend());
            const int aimed = codes == Codes::ConstantWeight                                ? 1
                              : codes == Codes::Counting                                    ? 2
                              : lines <= weights[0] + (weights.size() > 1 ? weights[1] : 0) ? 1
                                                                                            : 2;
            EXPECT_EQ(most, sound + aimed) << name;
            std::printf("%s, %s: sound %d, %zu single faults at most %d, on average %.2f\n",
                        convert::nameIn(cli::selftest::kCodesNames, codes).c_str(), name, sound,
                        cases.size(), most, static_cast<double>(total) / cases.size());
        }
}

} // namespace

namespace {

// An input that reads the AND of lines whose own inputs each read their own
// code (a flicker that happened to look so) names no short: the lines are
// sound as far as their inputs tell, and the reading is undecided at most
// (and the reading line's own output is seen by no input).
// An input found changing under a standing pattern is intermittent, and what
// it read names no other line.
TEST(SelftestReport, NamesNoOtherLineOnTheWordOfOneInput) {
    using Kind = cli::selftest::Behaviour::Kind;
    cli::selftest::Learned learned;
    learned.patterns = 16;
    for (int line = 0; line < 4; ++line)
        learned.inputs.push_back({Kind::Follows, {line}});
    learned.inputs[3] = {Kind::And, {0, 1}};
    EXPECT_EQ(found(cli::selftest::makeReport({1, 2, 3, 4}, learned)),
              (Faults{fault("undecided", {1, 2, 4}, "", "unexplained"),
                      fault("undecided", {1, 2, 4}, "", "unseen-output")}));
    EXPECT_EQ(found(cli::selftest::makeReport({1, 2, 3, 4}, learned, {0, 0, 0, 7})),
              (Faults{fault("intermittent", {4})}));
    learned.inputs[3] = {Kind::Follows, {1}};
    EXPECT_EQ(found(cli::selftest::makeReport({1, 2, 3, 4}, learned, {0, 0, 0, 3})),
              (Faults{fault("intermittent", {4})}));
}

} // namespace

namespace {

// A kept trace that the test could not have driven, or whose readings give
// other findings than those kept with it, is caught; a stopped run's trace is
// the start of a test, with no findings; a whole test's findings stand
// whatever ended the run (its reset may fail). Patterns' JSON that
// patternsJson would not write is refused.
TEST_F(Selftest, AKeptTraceIsCheckedAgainstItsFindings) {
    using cli::selftest::traceDisagrees;
    const std::vector<int> channels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto faults = run("short-and=3,4;stuck1=9;flicker=11;seed=4", channels).faults;
    const cli::selftest::Trace kept = trace;
    ASSERT_GT(kept.patterns.size(), 4u);
    EXPECT_EQ(traceDisagrees(channels, kept, true, faults), "");
    EXPECT_EQ(traceDisagrees(channels, kept, false, faults), "") << "a whole test, not reset";
    auto changed = [&](auto change, std::vector<cli::selftest::Fault> claimed) {
        cli::selftest::Trace t = kept;
        change(t, claimed);
        return traceDisagrees(channels, t, true, claimed);
    };
    auto flickers = [&](int times) {
        return changed([&](auto&, auto& f) { f.back().flickers = times; }, faults);
    };
    ASSERT_EQ(faults.back().kind, cli::selftest::FaultKind::Intermittent);
    const int seen = faults.back().flickers; // read twice: once a pattern it changed in
    EXPECT_EQ(flickers(seen), "");
    const std::pair<const char*, std::string> cases[] = {
        {"other codes", changed([](auto& t, auto&) { t.codes = Codes::Counting; }, faults)},
        {"a stuck line read as sound", changed(
                                           [](auto& t, auto&) {
                                               for (auto& p : t.patterns)
                                                   p.read->values[8] = p.driven[8];
                                           },
                                           faults)},
        {"a pattern the test would not drive",
         changed([](auto& t, auto&) { t.patterns[1].driven[0].flip(); }, faults)},
        {"a pattern missing at the end",
         changed([](auto& t, auto&) { t.patterns.pop_back(); }, faults)},
        {"a pattern more",
         changed([&](auto& t, auto&) { t.patterns.push_back(kept.patterns.back()); }, faults)},
        {"the last one not read",
         changed([](auto& t, auto&) { t.patterns.back().read.reset(); }, faults)},
        {"a finding more", traceDisagrees(channels, kept, true,
                                          run("short-and=3,4;stuck1=9;stuck0=1", channels).faults)},
        {"fewer flickers than patterns it changed in", flickers(seen - 1)},
        {"more flickers than reads", flickers(seen + 1)}};
    for (const auto& [name, why] : cases)
        EXPECT_NE(why, "") << name;
    cli::selftest::Trace stopped = kept;
    stopped.patterns.resize(3);
    EXPECT_EQ(traceDisagrees(channels, stopped, false, {}), "");
    EXPECT_NE(traceDisagrees(channels, stopped, false, faults), "") << "a stopped run's findings";
    stopped.patterns.back().read.reset();
    EXPECT_EQ(traceDisagrees(channels, stopped, false, {}), "");

    const char* refused[] = {R"({"driven":"0101"})",
                             R"([{"driven":"010"}])",
                             R"([{"driven":"01x1","read":"0101"}])",
                             R"([{"driven":"0101","changed":"0001"}])",
                             R"([{"driven":"0101"},{"driven":"0101","read":"0101"}])",
                             R"([{"read":"0101"}])",
                             R"([{"driven":5,"read":"0101"}])",
                             R"([7])"};
    for (const char* json : refused)
        EXPECT_THROW(cli::selftest::patternsFromJson(nlohmann::json::parse(json), 4),
                     std::invalid_argument)
            << json;
    nlohmann::json tooMany = nlohmann::json::array();
    for (int i = 0; i <= cli::selftest::patternBudget(4); ++i)
        tooMany.push_back({{"driven", "0101"}, {"read", "0101"}});
    EXPECT_THROW(cli::selftest::patternsFromJson(tooMany, 4), std::invalid_argument);
}

} // namespace
