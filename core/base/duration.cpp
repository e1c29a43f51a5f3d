#include "duration.h"

#include "convert/full_width.h"
#include "core/base/errors.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace cli {

std::chrono::milliseconds parseDuration(const std::string& text, const std::string& option) {
    const std::string folded = convert::foldFullWidth(text);
    // Digits and a decimal point, then the unit: what std::stod would take
    // besides (blanks, signs, hexadecimal, "inf") is no duration.
    const std::size_t number = folded.find_first_not_of("0123456789.");
    std::size_t end = 0;
    double amount = -1;
    try {
        if (number != 0)
            amount = std::stod(folded.substr(0, number), &end);
    } catch (const std::exception&) {
        end = 0;
    }
    const std::string unit = folded.substr(end);
    const std::pair<const char*, double> units[] = {{"", 1000},   {"s", 1000},    {"ms", 1},
                                                    {"m", 60000}, {"min", 60000}, {"h", 3600000}};
    for (const auto& [name, milliseconds] : units)
        if (end > 0 && unit == name && std::isfinite(amount) && amount > 0 &&
            amount * milliseconds < 1e12)
            return std::chrono::milliseconds(std::max(1LL, std::llround(amount * milliseconds)));
    throw UsageError(option + " 的“" + text + "”不对：应为正的时长，如 200ms、5s、2m、1h");
}

std::string formatDuration(std::chrono::milliseconds duration) {
    const auto count = duration.count();
    return count % 1000 == 0 ? std::to_string(count / 1000) + "s" : std::to_string(count) + "ms";
}

} // namespace cli
