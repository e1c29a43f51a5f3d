#include "adaptive.h"

#include "core/selftest/column.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

namespace cli::selftest {
namespace {

using Lines = std::vector<int>; // ascending
using Kind = Behaviour::Kind;

// What was driven and read so far, a column a line.
struct Seen {
    std::vector<Column> outputs, inputs;
    std::vector<bool> flickered; // inputs seen changing under a standing pattern: left out
};

// Lines at the values a pattern would need to tell something; the rest free.
using Wish = std::vector<std::pair<int, bool>>;

// Inputs that read alike: on one net, or on nets nothing told apart yet.
struct Alike {
    Column reading;
    Lines inputs;
    int owner = -1; // the output whose column it reads
};

Column combined(const Seen& seen, const Lines& lines, bool wiredAnd) {
    Column column = seen.outputs[lines.front()];
    for (int line : lines)
        wiredAnd ? column &= seen.outputs[line] : column |= seen.outputs[line];
    return column;
}

// The outputs of `from` that a net of the kind reading `reading` may hold: a 1
// wherever it read 1 (AND), or a 0 wherever it read 0 (OR).
Lines fitting(const Seen& seen, const Lines& from, const Column& reading, bool wiredAnd) {
    Lines lines;
    for (int line : from)
        if (wiredAnd ? reading.within(seen.outputs[line]) : seen.outputs[line].within(reading))
            lines.push_back(line);
    return lines;
}

// How a net reading no output's column may be made of some candidates: for each
// pattern under which it showed (read 0 for AND), those of them that showed too,
// one of which is on it. A line alone in such a set is on it.
struct Explanation {
    bool wiredAnd = true;
    Lines candidates;
    bool possible = false; // two of them at least, together reading what it read
    std::vector<Lines> showing;
    Lines certain;

    Explanation(const Seen& seen, const Lines& from, const Column& reading, bool kind)
        : wiredAnd(kind), candidates(fitting(seen, from, reading, kind)),
          possible(candidates.size() >= 2 && combined(seen, candidates, kind) == reading) {
        for (std::size_t pattern = 0; possible && pattern < reading.size(); ++pattern) {
            if (reading.at(pattern) == wiredAnd)
                continue;
            Lines shown;
            for (int line : candidates)
                if (seen.outputs[line].at(pattern) != wiredAnd)
                    shown.push_back(line);
            if (shown.size() == 1)
                certain.push_back(shown.front());
            showing.push_back(std::move(shown));
        }
        std::sort(certain.begin(), certain.end());
        certain.erase(std::unique(certain.begin(), certain.end()), certain.end());
    }
    bool decided() const { return certain.size() == candidates.size(); }

    // Half of the undecided lines of the smallest set still open, shown while
    // the other candidates hide: whether one of that half is on the net.
    Wish halving() const {
        const Lines* smallest = nullptr;
        Lines open;
        for (const Lines& shown : showing) {
            Lines undecided;
            std::set_difference(shown.begin(), shown.end(), certain.begin(), certain.end(),
                                std::back_inserter(undecided));
            if (!undecided.empty() && shown.size() >= 2 &&
                (!smallest || shown.size() < smallest->size())) {
                smallest = &shown;
                open = undecided;
            }
        }
        Wish wish;
        open.resize((open.size() + 1) / 2);
        for (int line : candidates)
            wish.emplace_back(line, std::binary_search(open.begin(), open.end(), line) != wiredAnd);
        return wish;
    }
};

// What the readings so far decide, and the wishes that would tell more, the
// most telling first.
class Analysis {
public:
    explicit Analysis(const Seen& seen)
        : seen_(seen), lines_(static_cast<int>(seen.outputs.size())) {
        inputs.resize(seen.outputs.size());
        sort();
        pin();
        explainOrphans();
        explainConstant(zeros_, true);
        explainConstant(ones_, false);
        if (pinned_)
            for (const Alike& alike : owned_)
                for (int input : alike.inputs)
                    inputs[input] = {Kind::Follows, {alike.owner}};
        else
            inputs.assign(inputs.size(), Behaviour{});
        wishes = std::move(constantWishes_);
        wishes.insert(wishes.end(), halvings_.begin(), halvings_.end());
        if (!pinned_) {
            wishes.insert(wishes.end(), hiding_[0].begin(), hiding_[0].end());
            wishes.insert(wishes.end(), hiding_[1].begin(), hiding_[1].end());
        }
    }

    std::vector<Behaviour> inputs;
    std::vector<Wish> wishes;

private:
    void sort() {
        std::map<Column, int> ownerOf;
        for (int line = 0; line < lines_; ++line)
            ownerOf.emplace(seen_.outputs[line], line);
        std::map<Column, Lines> alike;
        for (int input = 0; input < lines_; ++input)
            if (!seen_.flickered[input])
                alike[seen_.inputs[input]].push_back(input);
        std::vector<bool> owns(static_cast<std::size_t>(lines_));
        for (auto& [reading, inputs] : alike) {
            const auto owner = ownerOf.find(reading);
            Alike group{reading, inputs, owner == ownerOf.end() ? -1 : owner->second};
            if (reading.none())
                zeros_ = std::move(group);
            else if (reading.all())
                ones_ = std::move(group);
            else if (group.owner >= 0)
                owns[group.owner] = true, owned_.push_back(std::move(group));
            else
                orphans_.push_back(std::move(group));
        }
        for (int line = 0; line < lines_; ++line)
            if (!owns[line])
                spares_.push_back(line);
    }

    // Whether every net reading a line's column is that line alone: so where
    // the nets need every output (one each, two at least for a net reading no
    // column), or where no spare output may hide on such a net. Else the
    // patterns that tell, one a spare line and kind: it at the value that shows
    // it, the lines whose nets it may hide on at the other. A line whose own
    // input read inside (around) its column is tried for AND (OR) first.
    void pin() {
        std::size_t needed = owned_.size();
        Lines all(static_cast<std::size_t>(lines_));
        for (int line = 0; line < lines_; ++line)
            all[line] = line;
        for (const Alike& orphan : orphans_)
            if (explicable(all, orphan.reading, true) || explicable(all, orphan.reading, false))
                needed += 2;
        bool hides = false;
        for (int spare : spares_) {
            Wish wish[2];
            for (bool wiredAnd : {true, false})
                for (const Alike& net : owned_) {
                    const Column& mine = seen_.outputs[spare];
                    if (wiredAnd ? net.reading.within(mine) : mine.within(net.reading)) {
                        Wish& tried = wish[wiredAnd ? 0 : 1];
                        if (tried.empty())
                            tried.emplace_back(spare, !wiredAnd);
                        tried.emplace_back(net.owner, wiredAnd);
                    }
                }
            hides = hides || !wish[0].empty() || !wish[1].empty();
            const Column& own = seen_.inputs[spare];
            const bool orFirst = !seen_.flickered[spare] && !own.within(seen_.outputs[spare]) &&
                                 seen_.outputs[spare].within(own);
            for (int i = 0; i < 2; ++i)
                if (!wish[i ^ orFirst].empty())
                    hiding_[i].push_back(wish[i ^ orFirst]);
        }
        pinned_ = needed >= static_cast<std::size_t>(lines_) || !hides;
    }

    // Whether two lines of `from` at least make the reading as a net of the kind.
    bool explicable(const Lines& from, const Column& reading, bool wiredAnd) const {
        const Lines lines = fitting(seen_, from, reading, wiredAnd);
        return lines.size() >= 2 && combined(seen_, lines, wiredAnd) == reading;
    }

    // The spare lines a net may still take: those no other net is known to hold.
    Lines freeFor(int orphan) const {
        Lines lines;
        for (int line : spares_)
            if (holder_.count(line) == 0 || holder_.at(line) == orphan)
                lines.push_back(line);
        return lines;
    }

    // A net reading no column is the AND (OR) of the spare lines that fit it,
    // where each of them is the only one to show under some pattern; lines
    // known to be on one net are on no other.
    void explainOrphans() {
        for (bool placed = true; placed;) {
            placed = false;
            for (std::size_t i = 0; i < orphans_.size(); ++i)
                if (const auto explanation = onlyKind(static_cast<int>(i)))
                    for (int line : explanation->certain)
                        placed = holder_.emplace(line, static_cast<int>(i)).second || placed;
        }
        for (std::size_t i = 0; i < orphans_.size(); ++i) {
            const auto explanation = onlyKind(static_cast<int>(i));
            if (!explanation)
                continue;
            if (!explanation->decided()) {
                halvings_.push_back(explanation->halving());
                continue;
            }
            for (int input : orphans_[i].inputs)
                inputs[input] = {explanation->wiredAnd ? Kind::And : Kind::Or,
                                 explanation->candidates};
        }
    }

    // The one kind of net that explains an orphan, if only one does.
    std::optional<Explanation> onlyKind(int orphan) const {
        const Column& reading = orphans_[orphan].reading;
        const Lines from = freeFor(orphan);
        const bool andFits = explicable(from, reading, true);
        if (andFits == explicable(from, reading, false))
            return std::nullopt;
        return Explanation(seen_, from, reading, andFits);
    }

    // Inputs that read 0 (1) throughout are stuck, unless the spare lines no
    // other net holds AND (OR) to that: then a pattern with all of them at 1
    // (0) tells.
    void explainConstant(const std::optional<Alike>& constant, bool zero) {
        if (!constant)
            return;
        const Lines from = freeFor(-1);
        if (!from.empty() &&
            (zero ? combined(seen_, from, true).none() : combined(seen_, from, false).all())) {
            Wish wish;
            for (int line : from)
                wish.emplace_back(line, zero);
            constantWishes_.push_back(wish);
            return;
        }
        for (int input : constant->inputs)
            inputs[input] = {zero ? Kind::Zero : Kind::One, {}};
    }

    const Seen& seen_;
    int lines_;
    std::vector<Alike> owned_, orphans_;
    std::optional<Alike> zeros_, ones_;
    Lines spares_;
    bool pinned_ = false;
    std::map<int, int> holder_; // spare line → the orphan known to hold it
    std::vector<Wish> constantWishes_, halvings_, hiding_[2];
};

// The wishes that fit together, in their order; every other line at 0.
std::vector<bool> patternOf(int lines, const std::vector<Wish>& wishes) {
    std::vector<int> value(static_cast<std::size_t>(lines), -1);
    for (const Wish& wish : wishes)
        if (std::all_of(wish.begin(), wish.end(), [&](const std::pair<int, bool>& at) {
                return value[at.first] < 0 || value[at.first] == at.second;
            }))
            for (const auto& [line, bit] : wish)
                value[line] = bit;
    std::vector<bool> pattern(static_cast<std::size_t>(lines));
    for (int line = 0; line < lines; ++line)
        pattern[line] = value[line] == 1;
    return pattern;
}

int weight(std::uint32_t code) {
    return static_cast<int>(std::bitset<32>(code).count());
}

} // namespace

std::vector<std::uint32_t> adaptiveCodes(int lines) {
    const int bits = codeBits(lines);
    std::vector<std::uint32_t> codes;
    for (std::uint32_t code = 1; code + 1 < std::uint32_t{1} << bits; ++code)
        codes.push_back(code);
    // Then the lighter of two weights as far from the middle: codes of two
    // weights hold no chain of three, which would take a stuck line two aimed
    // patterns instead of one.
    std::stable_sort(codes.begin(), codes.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::pair(std::abs(2 * weight(a) - bits), weight(a)) <
               std::pair(std::abs(2 * weight(b) - bits), weight(b));
    });
    codes.resize(static_cast<std::size_t>(lines));
    return codes;
}

Learned learnAdaptive(int lines, const Probe& probe) {
    Learned learned;
    learned.inputs.resize(static_cast<std::size_t>(lines));
    if (lines == 0)
        return learned;
    Seen seen{std::vector<Column>(lines), std::vector<Column>(lines), std::vector<bool>(lines)};
    auto drive = [&](const std::vector<bool>& pattern) {
        const Reading read = probe(pattern);
        ++learned.patterns;
        for (int line = 0; line < lines; ++line) {
            seen.outputs[line].push(pattern[line]);
            seen.inputs[line].push(read.values[line]);
            if (!read.changed.empty() && read.changed[line])
                seen.flickered[line] = true;
        }
    };
    const std::vector<std::uint32_t> codes = adaptiveCodes(lines);
    for (int bit = 0; bit < codeBits(lines); ++bit) {
        std::vector<bool> pattern(static_cast<std::size_t>(lines));
        for (int line = 0; line < lines; ++line)
            pattern[line] = (codes[line] >> bit & 1) != 0;
        drive(pattern);
    }
    for (const int budget = patternBudget(lines);;) {
        Analysis analysis(seen);
        if (analysis.wishes.empty() || learned.patterns >= budget) {
            learned.inputs = std::move(analysis.inputs);
            return learned;
        }
        drive(patternOf(lines, analysis.wishes));
    }
}

} // namespace cli::selftest
