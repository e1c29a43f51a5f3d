#pragma once
// What the broker's network thread hands the collector, until it is stored:
// bounded in count and in bytes, so that a database away for long (or a
// client sending huge messages) cannot take the machine's memory. What does
// not fit is dropped, counted: its stations send it again, as they do every
// run not confirmed.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace cli {

struct Message {
    std::string topic, payload;
};

class Inbox {
public:
    // `largest`: a message over it is dropped as it arrives (no run is that large).
    Inbox(std::size_t mostMessages, std::size_t mostBytes, std::size_t largest);

    void put(const std::string& topic, const std::string& payload);
    // Up to `most`, waiting up to `within` for the first.
    std::vector<Message> take(std::size_t most, std::chrono::milliseconds within);

    struct Dropped {
        long full = 0;         // the inbox had no room
        long tooLarge = 0;     // larger than any run
        std::string lastTopic; // of the last one too large
    };
    // Dropped since the last call.
    Dropped dropped();

private:
    const std::size_t mostMessages_, mostBytes_, largest_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> messages_;
    std::size_t bytes_ = 0;
    Dropped dropped_;
};

} // namespace cli
