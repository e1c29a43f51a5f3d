#pragma once
// dio-cli watch: the inputs polled, each change printed with its time.

#include "cli/watch/watcher.h"
#include "core/card/wiring.h"
#include "core/mqtt/broker_url.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class Card;

struct WatchSetup {
    std::vector<int> channels;
    Wiring wiring;
    std::chrono::milliseconds interval{200};
    long count = 0;                                    // changes to wait for; 0: no limit
    std::optional<std::chrono::milliseconds> duration; // none: no limit
    WatchFormat format = WatchFormat::Text;
    bool utc = false;
    std::optional<mqtt::BrokerUrl> mqtt; // each change published there too
    std::string station;                 // the topic's level for this machine
};

// Until the count, the duration or a signal; a signal ends it as Interrupted
// once the summary is out, a change not published as PublishFailed.
void watch(Card& card, const WatchSetup& setup);

} // namespace cli
