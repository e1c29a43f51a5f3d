#include "selftest_lock.h"

#include <cstdint>
#include <cstdio>

namespace cli {

std::string SelftestLock::key(const std::string& card) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : card.empty() ? std::string("default") : card)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return "dio-cli-selftest-" + std::string(text);
}

} // namespace cli
