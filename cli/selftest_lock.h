#pragma once

#include <memory>
#include <string>

namespace cli {

// One self-test per card at a time: two at once drive each other's patterns
// and each reports faults on a sound card. Advisory, for any driver: the card
// is the one ADCARD_SIM_NAME names ("default"; a real card's driver ignores
// the name and is one card), the lock this user's, held while the object
// lives (platform code: a locked file in the user's runtime folder, a named
// mutex on Windows). Throws UsageError, before anything is driven, where
// another self-test holds it.
class SelftestLock {
public:
    explicit SelftestLock(const std::string& card);
    ~SelftestLock();
    SelftestLock(const SelftestLock&) = delete;
    SelftestLock& operator=(const SelftestLock&) = delete;

    // The same card name always gives the same key, whichever build of the
    // program asks.
    static std::string key(const std::string& card);

private:
    struct Held;
    std::unique_ptr<Held> held_;
};

} // namespace cli
