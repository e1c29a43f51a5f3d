#pragma once
// Delivery of a station's runs to the plant: a run is delivered when the
// plant's collector says it has stored it ("<prefix>/<station>/stored"), not
// when the broker acknowledges it; until then it is sent again, oldest first.

#include "core/mqtt/broker_url.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace cli {

struct DeliverySetup {
    mqtt::BrokerUrl broker;
    std::string db;                          // the station's records
    std::chrono::milliseconds connect{5000}; // for the broker and its acknowledgements
    std::chrono::milliseconds confirm{1000}; // for the collector's confirmations after them
    // Runs sent less than this long ago are not sent again (they are on
    // their way); none: every undelivered run.
    std::optional<std::chrono::seconds> resendAfter;
    const std::atomic<bool>* cancel = nullptr; // set: the waits end early (a window closing)
};

// After a station's run, its file's other undelivered runs sent last this
// long ago or earlier are sent with it.
inline constexpr std::chrono::seconds kResendAfter{60};

struct Delivery {
    long sent = 0;      // runs the broker acknowledged
    long confirmed = 0; // runs the plant's store confirmed now
    long left = 0;      // runs still undelivered in the file
};

// Sends the file's undelivered runs (at most a thousand a call) and marks
// those confirmed. Throws PublishFailed where the broker cannot be reached or
// does not acknowledge them, RecordFailed where the file cannot be read or
// written.
Delivery deliverPending(const DeliverySetup& setup);

// dio-cli publish --pending: a thousand after a thousand, while the plant
// confirms them; the totals.
Delivery deliverAllPending(const DeliverySetup& setup);

} // namespace cli
