#pragma once

#include "convert/named.h"
#include "core/selftest/interconnect.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace cli::selftest {

// A fault the self-test names. Kinds: "stuck-0", "stuck-1" (an input that
// reads one value whatever is driven: an open line reads so too), "short"
// (inputs that read the AND or OR of the channels given), "crossed" (the first
// channel's output reaches the second's input), "intermittent" (an input that
// changed while its pattern stood still, `flickers` times: what it read says
// nothing of the wiring) and "undecided" (readings that more than one set of
// faults would give; `why` says which case). The kinds are listed in the
// order of their names, which the report's order follows.
enum class FaultKind { Crossed, Intermittent, Short, Stuck0, Stuck1, Undecided };
inline constexpr convert::Named<FaultKind> kFaultKindNames[] = {
    {FaultKind::Crossed, "crossed", "交叉"},
    {FaultKind::Intermittent, "intermittent", "时通时断"},
    {FaultKind::Short, "short", "短路"},
    {FaultKind::Stuck0, "stuck-0", "固定为 0"},
    {FaultKind::Stuck1, "stuck-1", "固定为 1"},
    {FaultKind::Undecided, "undecided", "无法判断"}};
enum class Wired { None, And, Or };
inline constexpr convert::Named<Wired> kWiredNames[] = {
    {Wired::None, ""}, {Wired::And, "and"}, {Wired::Or, "or"}};
enum class Why { None, SameValue, Unexplained, UnseenOutput }; // for undecided
inline constexpr convert::Named<Why> kWhyNames[] = {{Why::None, ""},
                                                    {Why::SameValue, "same-value"},
                                                    {Why::Unexplained, "unexplained"},
                                                    {Why::UnseenOutput, "unseen-output"}};

struct Fault {
    FaultKind kind;
    std::vector<int> channels;
    Wired wired = Wired::None; // for a short
    Why why = Why::None;
    int flickers = 0; // for intermittent
};

// The names a test station reads in the JSON report: "stuck-0", "and",
// "same-value" and so on ("" for None).
inline std::string nameOf(FaultKind kind) {
    return convert::nameIn(kFaultKindNames, kind);
}
inline std::string nameOf(Wired wired) {
    return convert::nameIn(kWiredNames, wired);
}
inline std::string nameOf(Why why) {
    return convert::nameIn(kWhyNames, why);
}
// The kind in the words of the text reports: "交叉", "固定为 0", ...
inline std::string wordOf(FaultKind kind) {
    return convert::entryOf(kFaultKindNames, kind).word;
}

struct Report {
    int channels = 0;
    int patterns = 0;
    int sound = 0; // channels named in no fault
    std::vector<Fault> faults;
};

// The faults the learned behaviour shows, for the lines' channel numbers;
// `flickers` (one count a line, or none) says how often each input changed
// while its pattern stood still.
Report makeReport(const std::vector<int>& channels, const Learned& learned,
                  const std::vector<int>& flickers = {});

// Channel numbers as the texts list them: "17、18".
std::string joined(const std::vector<int>& channels, const char* separator = "、");

// One line summing it up, then one line a fault, in Chinese.
std::string summaryText(const Report& report);
std::vector<std::string> faultTexts(const Report& report);
// The report as a test station reads it (JSON).
std::string reportJson(const Report& report);
// Its list of faults, as the report and the records' history give it.
nlohmann::ordered_json faultsJson(const std::vector<Fault>& faults);

} // namespace cli::selftest
