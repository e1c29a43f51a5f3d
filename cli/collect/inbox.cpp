#include "inbox.h"

#include <utility>

namespace cli {

Inbox::Inbox(std::size_t mostMessages, std::size_t mostBytes, std::size_t largest)
    : mostMessages_(mostMessages), mostBytes_(mostBytes), largest_(largest) {}

void Inbox::put(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t size = topic.size() + payload.size();
    if (payload.size() > largest_) {
        ++dropped_.tooLarge;
        dropped_.lastTopic = topic;
        return;
    }
    if (messages_.size() >= mostMessages_ || bytes_ + size > mostBytes_) {
        ++dropped_.full;
        return;
    }
    messages_.push_back({topic, payload});
    bytes_ += size;
    arrived_.notify_one();
}

std::vector<Message> Inbox::take(std::size_t most, std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, within, [&] { return !messages_.empty(); });
    std::vector<Message> taken;
    while (!messages_.empty() && taken.size() < most) {
        bytes_ -= messages_.front().topic.size() + messages_.front().payload.size();
        taken.push_back(std::move(messages_.front()));
        messages_.pop_front();
    }
    return taken;
}

Inbox::Dropped Inbox::dropped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(dropped_, Dropped());
}

} // namespace cli
