#include "lock.h"

#include "core/base/errors.h"

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

// A mutex of the machine (every session's, as a card is), named for the
// card: Windows releases it with the process, however that ends.
void SelftestLock::Release::operator()(Held* held) const {
    delete held;
}

SelftestLock::Holding SelftestLock::take(const std::string& card, std::string& where) {
    const std::string name = "Global\\" + key(card);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    // Open in another user's process: that process holds it (a handle is
    // kept only while the lock is held).
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
        where = name + "（另一个用户的程序）";
        return Holding();
    }
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
