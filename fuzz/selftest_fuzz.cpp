// The self-test's learning against any answers at all, as a broken card or
// cable might give them: it ends, within its pattern bound, its report is a
// JSON document naming only tested channels, and its trace, kept and read
// back, gives the same findings. Also the command line's and the
// simulated card's readings of what is typed: a usage error at worst.
#include "check.h"
#include "core/base/errors.h"
#include "core/card/wiring.h"
#include "core/options/arguments.h"
#include "core/selftest/report.h"
#include "core/selftest/trace.h"
#include "simcard/faults.h"

#include <nlohmann/json.hpp>

#include <numeric>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        cli::parseChannels(text);
        cli::parseBitSettings({text, text});
        cli::parseByteSettings({text});
        cli::parseDuration(text, "-i");
    } catch (const cli::UsageError&) {
    }
    std::string error;
    CHECK(simcard::parseFaults(text, error) || !error.empty());

    const int lines = 1 + (data[0] & 0x7F) % cli::kChannels;
    const cli::selftest::Codes codes = cli::selftest::kCodesNames[(data[0] >> 7) + size % 2].value;
    std::size_t bit = 8;
    cli::selftest::Trace trace{codes, 2, {}};
    const cli::selftest::Learned learned = cli::selftest::learn(
        lines,
        [&](const std::vector<bool>& pattern) {
            std::vector<bool> reading(lines);
            for (int i = 0; i < lines; ++i, ++bit)
                reading[i] = (data[bit / 8 % size] >> bit % 8 & 1) != 0;
            trace.patterns.push_back(
                {pattern, cli::selftest::Reading(reading, std::vector<bool>(lines))});
            return *trace.patterns.back().read;
        },
        codes);
    CHECK(learned.patterns <= cli::selftest::patternBudget(lines));
    std::vector<int> channels(lines);
    std::iota(channels.begin(), channels.end(), 1);
    const cli::selftest::Report report = cli::selftest::makeReport(channels, learned);
    // Kept and read back, the trace gives the same findings again.
    const cli::selftest::Trace kept{
        codes, 2,
        cli::selftest::patternsFromJson(
            nlohmann::json::parse(cli::selftest::patternsJson(trace.patterns).dump()),
            channels.size())};
    CHECK(cli::selftest::traceDisagrees(channels, kept, true, report.faults).empty());
    const auto json = nlohmann::json::parse(cli::selftest::reportJson(report));
    CHECK(json["channels"] == lines && report.sound >= 0 && report.sound <= lines);
    for (const auto& fault : json["faults"])
        for (int channel : fault["channels"])
            CHECK(channel >= 1 && channel <= lines);
    return 0;
}
