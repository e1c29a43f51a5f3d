#include "interconnect.h"

#include "core/selftest/adaptive.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <functional>
#include <iterator>
#include <utility>

namespace cli::selftest {
namespace {

using Code = std::uint32_t;
using Lines = std::vector<int>; // ascending
using Kind = Behaviour::Kind;

int weight(Code code) {
    return static_cast<int>(std::bitset<32>(code).count());
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

Lines allLines(int lines) {
    Lines all(static_cast<std::size_t>(lines));
    for (int line = 0; line < lines; ++line)
        all[line] = line;
    return all;
}

// The words the lines are given, a line's at its index.
struct Words {
    std::vector<Code> of;
    Code all = 0; // every bit of a word
};

Words countingWords(int lines) {
    Words words{{}, (Code{1} << codeBits(lines)) - 1};
    for (int line = 0; line < lines; ++line)
        words.of.push_back(static_cast<Code>(line) + 1);
    return words;
}

// The words of k bits with k/2 set. With k even, a word and its complement
// are both such words, and lines given the two cannot be told from stuck ones
// by the words when shorted: the first lines get one of each such pair (those
// with the top bit set), and only where there are more lines than that do the
// last lines get the complements of the first lines' words, channels far
// apart and the least likely to touch.
Words constantWeightWords(int lines) {
    const int bits = constantWeightBits(lines), ones = bits / 2;
    Words words{{}, (Code{1} << bits) - 1};
    std::vector<Code> first, rest;
    for (Code code = 0; code <= words.all; ++code)
        if (weight(code) == ones)
            (bits % 2 == 0 && (code >> (bits - 1) & 1) == 0 ? rest : first).push_back(code);
    words.of.assign(first.begin(), first.begin() + std::min<std::size_t>(first.size(), lines));
    for (std::size_t i = 0; words.of.size() < static_cast<std::size_t>(lines); ++i)
        words.of.push_back(~words.of[i] & words.all);
    return words;
}

// An input that read neither a word nor a constant: it follows the AND (or
// the OR) of outputs whose words AND to `low` and OR to `high`, all of them
// lines whose words lie between the two. With words of one weight the input
// shows one of the two only (the AND for a wired-AND); the other is open.
struct Doubt {
    int input = 0;
    bool wiredAnd = true;
    Code low = 0, high = 0;
    bool bounded = true; // both bounds read; else only the one shown
    Lines candidates;
    Lines known;   // where the group lies once the first pattern showed it
    Lines group;   // found so far
    Lines pending; // lines still to be tried one by one
    int tried = -1;
    bool lost = false;    // beyond what the aimed patterns can tell: tried line by line
    bool checked = false; // whether it may be stuck has been tried
    bool stuck = false;
};

// Whether it reads all zeros (AND) or all ones (OR): stuck, or a short of
// lines whose words have no bit in common (cover every bit).
bool covering(const Doubt& d, Code all) {
    return d.low == 0 && d.high == all;
}

// Whether the words' AND and OR are what the doubt read.
bool fits(const Doubt& d, Code conjunction, Code disjunction) {
    return ((!d.bounded && !d.wiredAnd) || conjunction == d.low) &&
           ((!d.bounded && d.wiredAnd) || disjunction == d.high);
}

// Whether a group of two or more lines explains the doubt's reading.
bool explains(const Words& words, const Doubt& d, const Lines& group) {
    Code conjunction = ~Code{0}, disjunction = 0;
    for (int line : group) {
        conjunction &= words.of[line];
        disjunction |= words.of[line];
    }
    return group.size() >= 2 && fits(d, conjunction, disjunction);
}

// The groups of the doubt's known lines that explain it: the lines all of
// them hold, and those some do; none where there is none (`found` false).
struct Groups {
    bool found = false;
    Lines always, sometimes;
};
Groups groupsOf(const Words& words, const Doubt& d) {
    Groups groups;
    if (d.known.size() > 12) { // too many groups to list: each line may be in
        groups.found = true;
        groups.sometimes = d.known;
        return groups;
    }
    for (Code subset = 3; subset < (Code{1} << d.known.size()); ++subset) {
        if ((subset & (subset - 1)) == 0)
            continue; // one line is no short
        Lines group;
        for (std::size_t i = 0; i < d.known.size(); ++i)
            if (subset >> i & 1)
                group.push_back(d.known[i]);
        if (!explains(words, d, group))
            continue;
        groups.always = groups.found ? intersect(groups.always, group) : group;
        groups.sometimes = unite(groups.sometimes, group);
        groups.found = true;
    }
    return groups;
}

// The lines whose words could make each doubt's reading.
void findCandidates(const Words& words, std::vector<Doubt>& doubts) {
    for (Doubt& d : doubts)
        for (int line = 0; line < static_cast<int>(words.of.size()); ++line)
            if (between(words.of[line], d.low, d.high))
                d.candidates.push_back(line);
}

// Which of a doubt's candidates are inputs in doubt of the same kind
// themselves, still unexplained (a short's own lines).
void findKnown(std::vector<Doubt>& doubts, const Learned& learned) {
    auto open = [&](const Doubt& d) { return learned.inputs[d.input].kind == Kind::Unknown; };
    for (bool wiredAnd : {true, false}) {
        Lines known;
        for (const Doubt& d : doubts)
            if (open(d) && d.wiredAnd == wiredAnd && has(d.candidates, d.input))
                known = unite(known, {d.input});
        for (Doubt& d : doubts)
            if (d.wiredAnd == wiredAnd)
                d.known = intersect(known, d.candidates);
    }
}

// One pattern's part for the doubts of one kind: `scope` held at the value
// under which the group shows nothing (1 for wired-AND), `test` at the other.
struct Step {
    bool wiredAnd;
    Lines scope, test;
};

// The doubts of one kind, and the patterns that find their groups: first one
// that holds every candidate outside the known lines at the showing value
// (a doubt that shows is not within them, or is stuck: the next pattern,
// everything at the value that hides a short, tells which); then, where the
// known lines allow more than one group, one line at a time; what stays
// unexplained is tried line by line over all its candidates.
class Search {
public:
    Search(const Words& words, bool wiredAnd, std::vector<Doubt*> doubts)
        : words_(words), wiredAnd_(wiredAnd), doubts_(std::move(doubts)) {
        Lines known;
        for (Doubt* d : doubts_) {
            scope_ = unite(scope_, d->candidates);
            known = unite(known, d->known);
        }
        outside_ = without(scope_, known);
        if (outside_.empty())
            planFromKnown();
    }

    bool done() const { return stage_ == Stage::Done; }
    const std::vector<Doubt*>& doubts() const { return doubts_; }

    Step next() {
        if (stage_ == Stage::Outside)
            return {wiredAnd_, scope_, outside_};
        if (stage_ == Stage::Stuck)
            return {wiredAnd_, allLines(static_cast<int>(words_.of.size())), {}};
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
            if (std::any_of(doubts_.begin(), doubts_.end(), [&](const Doubt* d) {
                    return d->lost && !d->checked && covering(*d, words_.all);
                }))
                stage_ = Stage::Stuck;
            else
                planFromKnown();
            break;
        case Stage::Stuck:
            for (Doubt* d : doubts_)
                if (d->lost && !d->checked && covering(*d, words_.all)) {
                    d->checked = true;
                    d->stuck = shows(d);
                    d->lost = !d->stuck;
                }
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
    enum class Stage { Outside, Stuck, Known, Lost, Done };

    // Which known lines every group the words allow holds, which some do.
    void planFromKnown() {
        for (Doubt* d : doubts_) {
            if (d->lost || d->stuck)
                continue;
            const Groups groups = groupsOf(words_, *d);
            d->lost = !groups.found; // no group of known lines explains it
            d->group = groups.always;
            d->pending = without(groups.sometimes, groups.always);
        }
        stage_ = Stage::Known;
        if (std::all_of(doubts_.begin(), doubts_.end(),
                        [](const Doubt* d) { return d->pending.empty(); }))
            planLost();
    }

    void planLost() {
        for (Doubt* d : doubts_) {
            if (d->stuck)
                continue;
            d->lost = d->lost || !explains(words_, *d, d->group);
            if (d->lost) {
                d->group.clear();
                lostScope_ = unite(lostScope_, d->candidates);
            }
        }
        stage_ = lostScope_.empty() ? Stage::Done : Stage::Lost;
    }

    const Words& words_;
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

int constantWeightBits(int lines) {
    auto most = [](int bits) { // C(bits, bits / 2)
        long count = 1;
        for (int i = 1; i <= bits / 2; ++i)
            count = count * (bits - bits / 2 + i) / i;
        return count;
    };
    int bits = 2;
    while (most(bits) < lines)
        ++bits;
    return bits;
}

int codePatterns(int lines, Codes codes) {
    switch (codes) {
    case Codes::Adaptive:
        return codeBits(lines);
    case Codes::ConstantWeight:
        return constantWeightBits(lines);
    case Codes::Counting:
        break;
    }
    return 2 * codeBits(lines);
}

namespace {

// Drives a pattern and counts it.
using Drive = std::function<std::vector<bool>(const std::vector<bool>&)>;

// Each word bit's pattern: the bits each input read 1 under them, and under
// their complements where those are driven too.
struct Readings {
    std::vector<Code> straight, inverted;
};

Readings driveWords(const Words& words, bool complements, const Drive& drive) {
    const int lines = static_cast<int>(words.of.size()), bits = weight(words.all);
    Readings read{std::vector<Code>(lines), std::vector<Code>(lines)};
    for (int round = 0; round < (complements ? 2 : 1) * bits; ++round) {
        const int bit = round % bits;
        const bool invert = round >= bits;
        std::vector<bool> pattern(static_cast<std::size_t>(lines));
        for (int line = 0; line < lines; ++line)
            pattern[line] = ((words.of[line] >> bit & 1) != 0) != invert;
        const std::vector<bool> reading = drive(pattern);
        for (int input = 0; input < lines; ++input)
            if (reading[input])
                (invert ? read.inverted : read.straight)[input] |= Code{1} << bit;
    }
    return read;
}

// What the counting words and their complements say of each input: one that
// read a word follows that line; one that read the AND (the OR) of words, or
// all zeros (ones), is in doubt; the rest stay unknown.
std::vector<Doubt> classifyCounting(const Words& words, const Readings& read, Learned& learned) {
    std::vector<Doubt> doubts;
    const int lines = static_cast<int>(learned.inputs.size());
    for (int input = 0; input < lines; ++input) {
        const Code seen = read.straight[input], complement = ~read.inverted[input] & words.all;
        Doubt d;
        d.input = input;
        if (seen == complement && seen >= 1 && seen <= static_cast<Code>(lines)) {
            learned.inputs[input] = {Kind::Follows, {static_cast<int>(seen) - 1}};
        } else if (seen != complement && (seen & ~complement) == 0) { // AND, or reads 0
            d.low = seen;
            d.high = complement;
            doubts.push_back(d);
        } else if (seen != complement && (complement & ~seen) == 0) { // OR, or reads 1
            d.wiredAnd = false;
            d.low = complement;
            d.high = seen;
            doubts.push_back(d);
        }
    }
    return doubts;
}

// What words of one weight say: a word, that line; fewer ones than a word,
// an AND of words; more, an OR; as many, but no line's word, nothing known.
std::vector<Doubt> classifyWeighted(const Words& words, const Readings& read, Learned& learned) {
    std::vector<int> lineOf(std::size_t{words.all} + 1, -1);
    for (std::size_t line = 0; line < words.of.size(); ++line)
        lineOf[words.of[line]] = static_cast<int>(line);
    const int ones = weight(words.of.front());
    std::vector<Doubt> doubts;
    for (int input = 0; input < static_cast<int>(learned.inputs.size()); ++input) {
        const Code seen = read.straight[input];
        Doubt d;
        d.input = input;
        d.bounded = false;
        if (lineOf[seen] >= 0) {
            learned.inputs[input] = {Kind::Follows, {lineOf[seen]}};
        } else if (weight(seen) < ones) {
            d.low = seen;
            d.high = words.all;
            doubts.push_back(d);
        } else if (weight(seen) > ones) {
            d.wiredAnd = false;
            d.high = seen;
            doubts.push_back(d);
        }
    }
    return doubts;
}

// An input reading all zeros (ones) is stuck, or shorted to lines whose
// words have no bit in common (cover every bit): the all-ones (all-zeros)
// pattern tells which. Driven now for those whose known lines make no such
// short (a line stuck alone, as it mostly is); the others are tried for a
// short first, and for being stuck only where that fails.
void tellStuckFromCovering(const Words& words, std::vector<Doubt>& doubts, bool always,
                           const Drive& drive, Learned& learned) {
    const int lines = static_cast<int>(learned.inputs.size());
    for (bool wiredAnd : {true, false}) {
        std::vector<Doubt*> now;
        for (Doubt& d : doubts)
            if (d.wiredAnd == wiredAnd && covering(d, words.all) &&
                (always || !groupsOf(words, d).found))
                now.push_back(&d);
        if (now.empty())
            continue;
        const std::vector<bool> reading = drive(std::vector<bool>(lines, wiredAnd));
        for (Doubt* d : now) {
            d->checked = true;
            if (reading[d->input] != wiredAnd)
                learned.inputs[d->input] = {wiredAnd ? Kind::Zero : Kind::One, {}};
        }
    }
}

// Who is in each short: both kinds' patterns driven together where their
// lines do not meet, never more patterns than walking ones and zeros would
// take (past that, what is still in doubt stays unexplained: a card that
// answers so follows no wiring).
void searchShorts(const Words& words, std::vector<Doubt>& doubts, const Drive& drive,
                  Learned& learned) {
    const int lines = static_cast<int>(learned.inputs.size());
    std::vector<Search> searches;
    for (bool wiredAnd : {true, false}) {
        std::vector<Doubt*> ofKind;
        for (Doubt& d : doubts)
            if (d.wiredAnd == wiredAnd && learned.inputs[d.input].kind == Kind::Unknown)
                ofKind.push_back(&d);
        if (!ofKind.empty())
            searches.emplace_back(words, wiredAnd, ofKind);
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
            for (const Doubt* d : search.doubts()) {
                if (d->stuck)
                    learned.inputs[d->input] = {d->wiredAnd ? Kind::Zero : Kind::One, {}};
                else if (explains(words, *d, d->group))
                    learned.inputs[d->input] = {d->wiredAnd ? Kind::And : Kind::Or, d->group};
            }
}

} // namespace

Learned learn(int lines, const Probe& probe, Codes codes) {
    if (codes == Codes::Adaptive)
        return learnAdaptive(lines, probe);
    Learned learned;
    learned.inputs.resize(static_cast<std::size_t>(lines));
    if (lines == 0)
        return learned;
    const Drive drive = [&](const std::vector<bool>& pattern) {
        ++learned.patterns;
        return probe(pattern).values;
    };
    const bool counting = codes == Codes::Counting;
    const Words words = counting ? countingWords(lines) : constantWeightWords(lines);
    const Readings read = driveWords(words, counting, drive);
    std::vector<Doubt> doubts =
        counting ? classifyCounting(words, read, learned) : classifyWeighted(words, read, learned);
    findCandidates(words, doubts);
    findKnown(doubts, learned);
    tellStuckFromCovering(words, doubts, counting, drive, learned);
    findKnown(doubts, learned);
    searchShorts(words, doubts, drive, learned);
    return learned;
}

} // namespace cli::selftest
