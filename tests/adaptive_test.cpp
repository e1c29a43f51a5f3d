// The adaptive self-test against the simulated card's wiring model, checked by
// what each input truly does under every pattern, not by what the test expects.
#include "core/selftest/adaptive.h"
#include "core/selftest/report.h"
#include "simcard/faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

namespace selftest = cli::selftest;

// The first `lines` channels under faults of the simulated card's language.
struct Cable {
    simcard::Faults faults;
    int lines;
    std::minstd_rand random{};

    std::vector<bool> operator()(const std::vector<bool>& pattern) {
        std::array<bool, simcard::kLines> outputs{};
        std::copy(pattern.begin(), pattern.end(), outputs.begin());
        const auto inputs = simcard::inputsFor(outputs, faults, random);
        return std::vector<bool>(inputs.begin(), inputs.begin() + lines);
    }

    // What every input reads under every pattern (pattern p drives line i to bit i of p).
    std::vector<std::vector<bool>> truth() {
        std::vector<std::vector<bool>> read(lines, std::vector<bool>(std::size_t{1} << lines));
        for (std::uint32_t p = 0; p < read[0].size(); ++p) {
            std::vector<bool> pattern(lines);
            for (int line = 0; line < lines; ++line)
                pattern[line] = (p >> line & 1) != 0;
            const std::vector<bool> inputs = (*this)(pattern);
            for (int line = 0; line < lines; ++line)
                read[line][p] = inputs[line];
        }
        return read;
    }
};

// Whether input `input` reads f(pattern) under every pattern.
template <typename F> bool reads(const std::vector<std::vector<bool>>& truth, int input, F f) {
    for (std::uint32_t p = 0; p < truth[input].size(); ++p)
        if (truth[input][p] != f(p))
            return false;
    return true;
}

// A line is sound when its input follows its own output alone and no other
// input depends on that output.
bool sound(const std::vector<std::vector<bool>>& truth, int line) {
    if (!reads(truth, line, [&](std::uint32_t p) { return (p >> line & 1) != 0; }))
        return false;
    for (const auto& input : truth)
        for (std::uint32_t p = 0; p < input.size(); ++p)
            if (input[p] != input[p ^ (1u << line)])
                return false;
    return true;
}

// What is wrong with a finding, by the truth ("" where it holds); lines are channels from 1.
std::string wrongIn(const selftest::Fault& f, const std::vector<std::vector<bool>>& truth) {
    using K = selftest::FaultKind;
    auto bit = [](std::uint32_t p, int channel) { return (p >> (channel - 1) & 1) != 0; };
    bool holds = true;
    switch (f.kind) {
    case K::Stuck0:
    case K::Stuck1:
        holds = reads(truth, f.channels[0] - 1, [&](std::uint32_t) { return f.kind == K::Stuck1; });
        break;
    case K::Crossed:
        holds =
            reads(truth, f.channels[1] - 1, [&](std::uint32_t p) { return bit(p, f.channels[0]); });
        break;
    case K::Short: // where one of its inputs reads it (another may be open, say)
        holds = false;
        for (int input : f.channels)
            holds = holds || reads(truth, input - 1, [&](std::uint32_t p) {
                        bool value = f.wired == selftest::Wired::And;
                        for (int channel : f.channels)
                            value = f.wired == selftest::Wired::And ? value && bit(p, channel)
                                                                    : value || bit(p, channel);
                        return value;
                    });
        break;
    case K::Intermittent:
    case K::Undecided:
        break;
    }
    if (!holds)
        return nameOf(f.kind) + " " + selftest::joined(f.channels, ",") + " does not hold";
    for (int channel : f.channels)
        if (sound(truth, channel - 1))
            return "sound line " + std::to_string(channel) + " named";
    return "";
}

std::vector<std::string> singleFaults(int lines) {
    std::vector<std::string> faults;
    for (int c = 1; c <= lines; ++c) {
        for (const char* kind : {"stuck0=", "stuck1=", "open="})
            faults.push_back(kind + std::to_string(c));
        for (int d = c + 1; d <= lines; ++d)
            for (const char* kind : {"short-and=", "short-or=", "cross="})
                faults.push_back(kind + std::to_string(c) + "," + std::to_string(d));
    }
    return faults;
}

// Runs the test on the cable the description gives (none where the simulated
// card refuses it) and says what is wrong with its report.
std::string checked(const std::string& description, int lines, int& patterns) {
    std::string error;
    const auto faults = simcard::parseFaults(description, error);
    if (!faults)
        return "";
    Cable cable{*faults, lines};
    const selftest::Learned learned = selftest::learnAdaptive(lines, std::ref(cable));
    patterns = learned.patterns;
    std::vector<int> channels(lines);
    for (int line = 0; line < lines; ++line)
        channels[line] = line + 1;
    const selftest::Report report = selftest::makeReport(channels, learned);
    const auto truth = cable.truth();
    bool allSound = true;
    for (int line = 0; line < lines; ++line)
        allSound = allSound && sound(truth, line);
    if (!allSound && report.faults.empty())
        return "a faulty cable passed";
    for (const selftest::Fault& f : report.faults)
        if (const std::string wrong = wrongIn(f, truth); !wrong.empty())
            return wrong;
    return "";
}

// Every pair of single faults on 8 lines, and every three on 5: never a sound
// line named, never a finding the cable does not bear out, never a faulty cable
// passed. Prints the most patterns each took.
TEST(AdaptiveSelftest, NamesOnlyWhatTheCableDoes) {
    for (const auto& [width, deep] : {std::pair{8, 2}, std::pair{5, 3}}) {
        const int lines = width, depth = deep; // a lambda takes these, not a binding
        const std::vector<std::string> singles = singleFaults(lines);
        int most = 0, cases = 0;
        std::vector<std::size_t> at(depth, 0);
        auto check = [&](const std::string& description) {
            int patterns = 0;
            const std::string wrong = checked(description, lines, patterns);
            EXPECT_EQ(wrong, "") << description;
            most = std::max(most, patterns);
            ++cases;
        };
        for (std::size_t a = 0; a < singles.size(); ++a)
            for (std::size_t b = a + 1; b < singles.size(); ++b) {
                check(singles[a] + ";" + singles[b]);
                for (std::size_t c = b + 1; depth == 3 && c < singles.size(); ++c)
                    check(singles[a] + ";" + singles[b] + ";" + singles[c]);
            }
        std::printf("adaptive, %d lines, %d sets of up to %d faults: at most %d patterns\n", lines,
                    cases, depth, most);
    }
}

// What an input does under faults of the simulated card's language, worked out
// from them: a constant, or the AND (OR) of some outputs (one: it follows it).
struct Function {
    enum class Kind { Zero, One, And, Or } kind = Kind::And;
    std::vector<int> lines; // 0-based, ascending
    bool operator==(const Function& other) const {
        return kind == other.kind && lines == other.lines;
    }
};

Function truthOf(const simcard::Faults& faults, int input) {
    using Kind = Function::Kind;
    if (faults.open[input])
        return {Kind::One, {}};
    const int wire = faults.source[input];
    auto driver = [&](int line) {
        return faults.held[line] < 0 ? Function{Kind::And, {line}}
                                     : Function{faults.held[line] ? Kind::One : Kind::Zero, {}};
    };
    for (const simcard::Faults::Short& group : faults.shorts) {
        if (std::find(group.lines.begin(), group.lines.end(), wire) == group.lines.end())
            continue;
        const Kind shows = group.wiredAnd ? Kind::Zero : Kind::One; // decides the net alone
        Function net{group.wiredAnd ? Kind::And : Kind::Or, {}};
        for (int line : group.lines) {
            const Function one = driver(line);
            if (one.kind == shows)
                return one;
            if (one.kind == Kind::And)
                net.lines.push_back(line);
        }
        std::sort(net.lines.begin(), net.lines.end());
        if (net.lines.empty())
            return {group.wiredAnd ? Kind::One : Kind::Zero, {}};
        if (net.lines.size() == 1)
            net.kind = Kind::And;
        return net;
    }
    return driver(wire);
}

// Whether the input reads, under pattern p (bit i for line i), what f says.
bool reads(const Function& f, std::uint32_t p) {
    switch (f.kind) {
    case Function::Kind::Zero:
        return false;
    case Function::Kind::One:
        return true;
    case Function::Kind::And:
        return std::all_of(f.lines.begin(), f.lines.end(), [&](int l) { return p >> l & 1; });
    case Function::Kind::Or:
        break;
    }
    return std::any_of(f.lines.begin(), f.lines.end(), [&](int l) { return p >> l & 1; });
}

// What is wrong with a report, by the inputs' functions (channel c is line c - 1).
std::string wrongIn(const selftest::Report& report, const std::vector<Function>& truth) {
    using K = selftest::FaultKind;
    using F = Function::Kind;
    const int lines = static_cast<int>(truth.size());
    auto sound = [&](int line) {
        if (!(truth[line] == Function{F::And, {line}}))
            return false;
        for (int input = 0; input < lines; ++input)
            if (input != line &&
                std::binary_search(truth[input].lines.begin(), truth[input].lines.end(), line))
                return false;
        return true;
    };
    bool allSound = true;
    for (int line = 0; line < lines; ++line)
        allSound = allSound && sound(line);
    if (!allSound && report.faults.empty())
        return "a faulty cable passed";
    for (const selftest::Fault& f : report.faults) {
        std::vector<int> group;
        for (int channel : f.channels)
            group.push_back(channel - 1);
        bool holds = true;
        if (f.kind == K::Stuck0 || f.kind == K::Stuck1)
            holds = truth[group[0]] == Function{f.kind == K::Stuck0 ? F::Zero : F::One, {}};
        else if (f.kind == K::Crossed)
            holds = truth[group[1]] == Function{F::And, {group[0]}};
        else if (f.kind == K::Short) // where one of its inputs reads it (another may be open)
            holds = std::any_of(group.begin(), group.end(), [&](int input) {
                return truth[input] ==
                       Function{f.wired == selftest::Wired::And ? F::And : F::Or, group};
            });
        if (!holds)
            return nameOf(f.kind) + " " + selftest::joined(f.channels, ",") + " does not hold";
        for (int line : group)
            if (sound(line))
                return "sound line " + std::to_string(line + 1) + " named";
    }
    return "";
}

// Random faults on 128 lines whose lines meet (a stuck line in a short, a
// crossed pair shorted, two shorts side by side), for each set of codes: the
// report never names a sound line nor a finding the cable does not bear out,
// and never passes a faulty cable. The inputs' functions are first checked
// against the simulated card itself on every pattern of 8 lines.
TEST(AdaptiveSelftest, FaultsThatShareLinesOnEveryCode) {
    std::mt19937 random(20261210);
    const char* kinds[] = {"short-and", "short-or", "stuck0", "stuck1", "open", "cross"};
    int cables = 0;
    while (cables < 600) {
        const int lines = cables < 100 ? 8 : 128, faults = 1 + random() % 6;
        std::string description;
        for (int n = 0; n < faults; ++n) {
            const std::string kind = kinds[random() % 6];
            const int count = kind.rfind("short", 0) == 0 ? 2 + random() % 2
                              : kind == "cross"           ? 2
                                                          : 1;
            description += kind + "=";
            for (int i = 0; i < count; ++i) // from a few lines, so that faults meet
                description += (i ? "," : "") + std::to_string(1 + random() % std::min(lines, 10));
            description += ";";
        }
        std::string error;
        const auto parsed = simcard::parseFaults(description, error);
        if (!parsed)
            continue;
        ++cables;
        std::vector<Function> truth;
        for (int input = 0; input < lines; ++input)
            truth.push_back(truthOf(*parsed, input));
        if (lines == 8) {
            Cable cable{*parsed, lines};
            const auto read = cable.truth();
            for (int input = 0; input < lines; ++input)
                for (std::uint32_t p = 0; p < 256; ++p)
                    ASSERT_EQ(read[input][p], reads(truth[input], p)) << description;
        }
        std::vector<int> channels(lines);
        for (int line = 0; line < lines; ++line)
            channels[line] = line + 1;
        for (const auto& codes : selftest::kCodesNames) {
            Cable cable{*parsed, lines};
            const auto learned = selftest::learn(lines, std::ref(cable), codes.value);
            EXPECT_EQ(wrongIn(selftest::makeReport(channels, learned), truth), "")
                << description << " " << codes.name;
        }
    }
}

// No test of fewer patterns than ceil(log2(n + 2)) tells every faulty cable of
// n lines from a sound one: on a sound cable an adaptive test drives one fixed
// sequence, so every sequence of one pattern fewer is tried (n = 2 to 7), and
// some single fault reads under it as the sound cable does.
TEST(AdaptiveSelftest, FewerPatternsLetAFaultyCablePass) {
    for (int lines = 2; lines <= 7; ++lines) {
        const int bound = selftest::codeBits(lines), shorter = bound - 1;
        EXPECT_EQ(bound, lines == 2 ? 2 : lines == 7 ? 4 : 3) << lines;
        // What each single fault reads under each pattern, as line bits.
        const std::uint32_t patterns = 1u << lines;
        std::vector<std::vector<std::uint32_t>> read;
        for (const std::string& description : singleFaults(lines)) {
            std::string error;
            Cable faulty{*simcard::parseFaults(description, error), lines};
            read.emplace_back();
            for (std::uint32_t p = 0; p < patterns; ++p) {
                std::vector<bool> pattern(lines);
                for (int line = 0; line < lines; ++line)
                    pattern[line] = (p >> line & 1) != 0;
                const std::vector<bool> inputs = faulty(pattern);
                std::uint32_t bits = 0;
                for (int line = 0; line < lines; ++line)
                    bits |= inputs[line] ? 1u << line : 0;
                read.back().push_back(bits);
            }
        }
        std::vector<std::uint32_t> sequence(static_cast<std::size_t>(shorter), 0);
        bool everyOneFooled = true;
        for (;;) { // every multiset of `shorter` patterns, ascending
            const bool fooled = std::any_of(read.begin(), read.end(), [&](const auto& faulty) {
                return std::all_of(sequence.begin(), sequence.end(),
                                   [&](std::uint32_t p) { return faulty[p] == p; });
            });
            everyOneFooled = everyOneFooled && fooled;
            int i = shorter - 1;
            while (i >= 0 && sequence[i] == patterns - 1)
                --i;
            if (i < 0)
                break;
            std::fill(sequence.begin() + i, sequence.end(), sequence[i] + 1);
        }
        EXPECT_TRUE(everyOneFooled) << lines << " lines in " << shorter << " patterns";
    }
}

} // namespace
