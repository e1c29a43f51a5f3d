#include "interconnect.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <utility>

namespace cli::selftest {
namespace {

using Code = std::uint32_t;
using Lines = std::vector<int>; // ascending
using Kind = Behaviour::Kind;

Code codeOf(int line) {
    return static_cast<Code>(line) + 1;
}

bool between(Code code, Code low, Code high) {
    return (low & ~code) == 0 && (code & ~high) == 0;
}

bool has(const Lines& lines, int line) {
    return std::binary_search(lines.begin(), lines.end(), line);
}

Lines unite(const Lines& a, const Lines& b) {
    Lines both;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
    return both;
}

Lines intersect(const Lines& a, const Lines& b) {
    Lines both;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
    return both;
}

Lines without(const Lines& a, const Lines& b) {
    Lines rest;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(rest));
    return rest;
}

// Whether the codes of a group of two or more lines AND to `low` and OR to `high`.
bool explains(const Lines& group, Code low, Code high) {
    Code conjunction = ~Code{0}, disjunction = 0;
    for (int line : group) {
        conjunction &= codeOf(line);
        disjunction |= codeOf(line);
    }
    return group.size() >= 2 && conjunction == low && disjunction == high;
}

// An input that read neither a code nor a constant: it follows the AND (or
// the OR) of outputs whose codes AND to `low` and OR to `high`, all of them
// lines whose codes lie between the two.
struct Doubt {
    int input;
    bool wiredAnd;
    Code low, high;
    Lines candidates;
    Lines known;   // where the group lies once the first pattern showed it
    Lines group;   // found so far
    Lines pending; // lines still to be tried one by one
    int tried = -1;
    bool lost = false; // beyond what the aimed patterns can tell: tried line by line
};

// One pattern's part for the doubts of one kind: `scope` held at the value
// under which the group shows nothing (1 for wired-AND), `test` at the other.
struct Step {
    bool wiredAnd;
    Lines scope, test;
};

// The doubts of one kind, and the patterns that find their groups: first one
// that holds every candidate outside the known lines at the showing value
// (a doubt that shows is not within them); then, where the known lines allow
// more than one group, one line at a time; what stays unexplained is tried
// line by line over all its candidates.
class Search {
public:
    Search(bool wiredAnd, std::vector<Doubt*> doubts)
        : wiredAnd_(wiredAnd), doubts_(std::move(doubts)) {
        Lines known;
        for (Doubt* d : doubts_) {
            scope_ = unite(scope_, d->candidates);
            if (has(d->candidates, d->input))
                known = unite(known, {d->input});
        }
        for (Doubt* d : doubts_)
            d->known = intersect(known, d->candidates);
        outside_ = without(scope_, known);
        if (outside_.empty())
            planFromKnown();
    }

    bool done() const { return stage_ == Stage::Done; }
    const std::vector<Doubt*>& doubts() const { return doubts_; }

    Step next() {
        if (stage_ == Stage::Outside)
            return {wiredAnd_, scope_, outside_};
        if (stage_ == Stage::Lost)
            return {wiredAnd_, lostScope_, {lostScope_[lostAt_]}};
        // As many lines still to try as can be told apart: no doubt may know of
        // two of them. The first is always among them, so each pattern settles
        // at least one line for every doubt that has it to try.
        Lines pending, test;
        for (const Doubt* d : doubts_)
            pending = unite(pending, d->pending);
        for (int line : pending) {
            const Lines tried = unite(test, {line});
            if (std::all_of(doubts_.begin(), doubts_.end(),
                            [&](const Doubt* d) { return intersect(tried, d->known).size() <= 1; }))
                test = tried;
        }
        for (Doubt* d : doubts_) {
            const Lines mine = intersect(test, d->pending);
            d->tried = mine.empty() ? -1 : mine.front();
        }
        return {wiredAnd_, scope_, test};
    }

    void take(const std::vector<bool>& reading) {
        auto shows = [&](const Doubt* d) { return reading[d->input] != wiredAnd_; };
        switch (stage_) {
        case Stage::Outside:
            for (Doubt* d : doubts_)
                d->lost = shows(d);
            planFromKnown();
            break;
        case Stage::Known:
            for (Doubt* d : doubts_)
                if (d->tried >= 0) {
                    if (shows(d))
                        d->group = unite(d->group, {d->tried});
                    d->pending = without(d->pending, {d->tried});
                }
            if (std::all_of(doubts_.begin(), doubts_.end(),
                            [](const Doubt* d) { return d->pending.empty(); }))
                planLost();
            break;
        case Stage::Lost:
            for (Doubt* d : doubts_)
                if (d->lost && has(d->candidates, lostScope_[lostAt_]) && shows(d))
                    d->group = unite(d->group, {lostScope_[lostAt_]});
            if (++lostAt_ == lostScope_.size())
                stage_ = Stage::Done;
            break;
        case Stage::Done:
            break;
        }
    }

private:
    enum class Stage { Outside, Known, Lost, Done };

    // Which known lines every group the codes allow holds, which some do.
    void planFromKnown() {
        for (Doubt* d : doubts_) {
            if (d->lost)
                continue;
            Lines always, sometimes;
            if (d->known.size() > 12) { // too many groups to list: try each line
                sometimes = d->known;
            } else {
                bool first = true;
                for (Code subset = 3; subset < (Code{1} << d->known.size()); ++subset) {
                    Code conjunction = ~Code{0}, disjunction = 0;
                    for (std::size_t i = 0; i < d->known.size(); ++i)
                        if (subset >> i & 1) {
                            conjunction &= codeOf(d->known[i]);
                            disjunction |= codeOf(d->known[i]);
                        }
                    const bool several = (subset & (subset - 1)) != 0;
                    if (!several || conjunction != d->low || disjunction != d->high)
                        continue;
                    Lines group;
                    for (std::size_t i = 0; i < d->known.size(); ++i)
                        if (subset >> i & 1)
                            group.push_back(d->known[i]);
                    always = first ? group : intersect(always, group);
                    sometimes = unite(sometimes, group);
                    first = false;
                }
                d->lost = first; // no group of known lines explains it
            }
            d->group = always;
            d->pending = without(sometimes, always);
        }
        stage_ = Stage::Known;
        if (std::all_of(doubts_.begin(), doubts_.end(),
                        [](const Doubt* d) { return d->pending.empty(); }))
            planLost();
    }

    void planLost() {
        for (Doubt* d : doubts_) {
            d->lost = d->lost || !explains(d->group, d->low, d->high);
            if (d->lost) {
                d->group.clear();
                lostScope_ = unite(lostScope_, d->candidates);
            }
        }
        stage_ = lostScope_.empty() ? Stage::Done : Stage::Lost;
    }

    bool wiredAnd_;
    std::vector<Doubt*> doubts_;
    Lines scope_, outside_, lostScope_;
    std::size_t lostAt_ = 0;
    Stage stage_ = Stage::Outside;
};

std::vector<bool> patternOf(int lines, const std::vector<Step>& steps) {
    std::vector<bool> pattern(static_cast<std::size_t>(lines), false);
    for (const Step& step : steps) {
        for (int line : step.scope)
            pattern[line] = step.wiredAnd;
        for (int line : step.test)
            pattern[line] = !step.wiredAnd;
    }
    return pattern;
}

} // namespace

int patternBudget(int lines) {
    return std::max(2 * lines + 2, 2 * codeBits(lines) + 4);
}

int codeBits(int lines) {
    int bits = 1;
    while ((Code{1} << bits) < static_cast<Code>(lines) + 2)
        ++bits;
    return bits;
}

namespace {

// Drives a pattern and counts it.
using Drive = std::function<std::vector<bool>(const std::vector<bool>&)>;

// What each input read under the code patterns: the bits it read 1 under the
// codes, and under their complements.
struct CodeReadings {
    Code all; // every bit of a code
    std::vector<Code> straight, inverted;
};

// The codes, then their complements.
CodeReadings driveCodes(int lines, const Drive& drive) {
    const int bits = codeBits(lines);
    CodeReadings read{(Code{1} << bits) - 1, std::vector<Code>(lines), std::vector<Code>(lines)};
    for (int round = 0; round < 2 * bits; ++round) {
        const int bit = round % bits;
        const bool invert = round >= bits;
        std::vector<bool> pattern(static_cast<std::size_t>(lines));
        for (int line = 0; line < lines; ++line)
            pattern[line] = ((codeOf(line) >> bit & 1) != 0) != invert;
        const std::vector<bool> reading = drive(pattern);
        for (int input = 0; input < lines; ++input)
            if (reading[input])
                (invert ? read.inverted : read.straight)[input] |= Code{1} << bit;
    }
    return read;
}

// An input that read a code follows that line; one that read the AND (the
// OR) of codes, or all zeros (ones), is in doubt; the rest stay unknown.
std::vector<Doubt> classify(const CodeReadings& read, Learned& learned) {
    std::vector<Doubt> doubts;
    const int lines = static_cast<int>(learned.inputs.size());
    for (int input = 0; input < lines; ++input) {
        const Code seen = read.straight[input], complement = ~read.inverted[input] & read.all;
        if (seen == complement && seen >= 1 && seen <= static_cast<Code>(lines))
            learned.inputs[input] = {Kind::Follows, {static_cast<int>(seen) - 1}};
        else if (seen != complement && (seen & ~complement) == 0) // AND, or reads 0
            doubts.push_back({input, true, seen, complement, {}, {}, {}, {}});
        else if (seen != complement && (complement & ~seen) == 0) // OR, or reads 1
            doubts.push_back({input, false, complement, seen, {}, {}, {}, {}});
    }
    return doubts;
}

// A line reading all zeros (ones) is stuck, or shorted to lines whose codes
// cover every bit: the all-ones (all-zeros) pattern tells which. Returns the
// doubts left, each with the lines whose codes could make its reading.
std::vector<Doubt*> tellStuckFromCovering(std::vector<Doubt>& doubts, Code all, const Drive& drive,
                                          Learned& learned) {
    const int lines = static_cast<int>(learned.inputs.size());
    for (bool wiredAnd : {true, false}) {
        auto covering = [&](const Doubt& d) {
            return d.wiredAnd == wiredAnd && d.low == 0 && d.high == all;
        };
        if (std::none_of(doubts.begin(), doubts.end(), covering))
            continue;
        const std::vector<bool> reading = drive(std::vector<bool>(lines, wiredAnd));
        for (Doubt& d : doubts)
            if (covering(d) && reading[d.input] != wiredAnd)
                learned.inputs[d.input] = {wiredAnd ? Kind::Zero : Kind::One, {}};
    }
    std::vector<Doubt*> open;
    for (Doubt& d : doubts) {
        if (learned.inputs[d.input].kind != Kind::Unknown)
            continue;
        for (int line = 0; line < lines; ++line)
            if (between(codeOf(line), d.low, d.high))
                d.candidates.push_back(line);
        open.push_back(&d);
    }
    return open;
}

// Who is in each short: both kinds' patterns driven together where their
// lines do not meet, never more patterns than walking ones and zeros would
// take (past that, what is still in doubt stays unexplained: a card that
// answers so follows no wiring).
void searchShorts(const std::vector<Doubt*>& open, const Drive& drive, Learned& learned) {
    const int lines = static_cast<int>(learned.inputs.size());
    std::vector<Search> searches;
    for (bool wiredAnd : {true, false}) {
        std::vector<Doubt*> ofKind;
        std::copy_if(open.begin(), open.end(), std::back_inserter(ofKind),
                     [wiredAnd](const Doubt* d) { return d->wiredAnd == wiredAnd; });
        if (!ofKind.empty())
            searches.emplace_back(wiredAnd, ofKind);
    }
    const int budget = patternBudget(lines);
    while (learned.patterns < budget) {
        std::vector<Search*> active;
        std::vector<Step> steps;
        for (Search& search : searches)
            if (!search.done()) {
                active.push_back(&search);
                steps.push_back(search.next());
            }
        if (active.empty())
            break;
        if (steps.size() == 2 && intersect(steps[0].scope, steps[1].scope).empty()) {
            const std::vector<bool> reading = drive(patternOf(lines, steps));
            for (Search* search : active)
                search->take(reading);
        } else {
            active.front()->take(drive(patternOf(lines, {steps.front()})));
        }
    }
    for (const Search& search : searches)
        if (search.done())
            for (const Doubt* d : search.doubts())
                if (explains(d->group, d->low, d->high))
                    learned.inputs[d->input] = {d->wiredAnd ? Kind::And : Kind::Or, d->group};
}

} // namespace

Learned learn(int lines, const Probe& probe) {
    Learned learned;
    learned.inputs.resize(static_cast<std::size_t>(lines));
    if (lines == 0)
        return learned;
    const Drive drive = [&](const std::vector<bool>& pattern) {
        ++learned.patterns;
        return probe(pattern);
    };
    const CodeReadings read = driveCodes(lines, drive);
    std::vector<Doubt> doubts = classify(read, learned);
    searchShorts(tellStuckFromCovering(doubts, read.all, drive, learned), drive, learned);
    return learned;
}

} // namespace cli::selftest
