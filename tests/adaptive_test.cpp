// The adaptive self-test against the simulated card's wiring model, checked by
// what each input truly does under every pattern, not by what the test expects.
#include "core/selftest/adaptive.h"
#include "core/selftest/report.h"
#include "simcard/faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
    for (const auto& [lines, depth] : {std::pair{8, 2}, std::pair{5, 3}}) {
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
