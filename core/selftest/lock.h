#pragma once

#include <memory>
#include <string>

namespace cli {

// One self-test per card at a time: two at once drive each other's patterns
// and each reports faults on a sound card; dio-cli serve holds it too while
// its clients write the card. Advisory, for any driver: the card is the one
// its driver names (Card::id(): the simulated card's name, a Modbus module's
// address and unit; "" for the card's own driver, the one card), the lock
// this user's, held while the object lives (platform code: a locked file in
// the user's runtime folder, a named mutex on Windows). Throws UsageError,
// before anything is driven, where another holds it.
class SelftestLock {
public:
    explicit SelftestLock(const std::string& card);
    ~SelftestLock();
    // The lock where no one else holds it; none where someone does.
    static std::unique_ptr<SelftestLock> tryHold(const std::string& card);
    SelftestLock(const SelftestLock&) = delete;
    SelftestLock& operator=(const SelftestLock&) = delete;

    // The same card name always gives the same key, whichever build of the
    // program asks.
    static std::string key(const std::string& card);

private:
    struct Held; // platform code, as its release is
    struct Release {
        void operator()(Held* held) const;
    };
    using Holding = std::unique_ptr<Held, Release>;
    SelftestLock() = default;
    // The lock, or none where another holds it (what it is then said in `where`).
    static Holding take(const std::string& card, std::string& where);
    Holding held_;
};

} // namespace cli
