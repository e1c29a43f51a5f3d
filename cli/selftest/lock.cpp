#include "lock.h"

#include "cli/common/errors.h"

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

SelftestLock::SelftestLock(const std::string& card) {
    std::string where;
    held_ = take(card, where);
    if (!held_)
        throw UsageError("这块板卡上已有另一个自检在运行，或有 dio-cli serve 的客户端在写它（" +
                         where + "）：两个同时驱动会互相干扰，等它结束再试");
}

SelftestLock::~SelftestLock() = default;

std::unique_ptr<SelftestLock> SelftestLock::tryHold(const std::string& card) {
    std::string where;
    Holding held = take(card, where);
    if (!held)
        return nullptr;
    std::unique_ptr<SelftestLock> lock(new SelftestLock());
    lock->held_ = std::move(held);
    return lock;
}

} // namespace cli
