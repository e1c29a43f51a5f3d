#include "timestamp.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace cli {
namespace {

std::tm brokenDown(std::time_t seconds, bool utc) {
    std::tm parts{};
#if defined(_WIN32)
    utc ? gmtime_s(&parts, &seconds) : localtime_s(&parts, &seconds);
#else
    utc ? gmtime_r(&seconds, &parts) : localtime_r(&seconds, &parts);
#endif
    return parts;
}

// Local time's offset from UTC at that moment, in minutes.
long offsetMinutes(std::time_t seconds) {
    std::tm local = brokenDown(seconds, false);
#if defined(_WIN32)
    const std::time_t asIfUtc = _mkgmtime(&local);
#else
    const std::time_t asIfUtc = timegm(&local);
#endif
    return static_cast<long>(asIfUtc - seconds) / 60;
}

} // namespace

std::string isoTimestamp(std::chrono::system_clock::time_point when, bool utc) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch());
    const std::time_t seconds =
        static_cast<std::time_t>(floor<std::chrono::seconds>(sinceEpoch).count());
    const long millis = static_cast<long>(sinceEpoch.count() - seconds * 1000LL);
    const std::tm parts = brokenDown(seconds, utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::string stamp = text;
    std::snprintf(text, sizeof text, ".%03ld", millis);
    stamp += text;
    if (utc)
        return stamp + "Z";
    const long offset = offsetMinutes(seconds);
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    return stamp + text;
}

} // namespace cli
