#include "lock.h"

#include "cli/common/errors.h"

#include <windows.h>

namespace cli {

struct SelftestLock::Held {
    explicit Held(HANDLE held) : mutex(held) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    HANDLE mutex;
    ~Held() {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
};

// A mutex of the session, named for the card: Windows releases it with the
// process, however that ends.
void SelftestLock::Release::operator()(Held* held) const {
    delete held;
}

SelftestLock::Holding SelftestLock::take(const std::string& card, std::string& where) {
    const std::string name = "Local\\" + key(card);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!mutex)
        throw UsageError("自检的锁“" + name + "”用不了：错误 " + std::to_string(GetLastError()));
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        where = name;
        return Holding();
    }
    return Holding(new Held(mutex));
}

} // namespace cli
