#include "lock.h"

#include "core/base/digest.h"
#include "core/base/errors.h"

namespace cli {

std::string SelftestLock::key(const std::string& card) {
    return "dio-cli-selftest-" + digestOf(card.empty() ? std::string("default") : card);
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
