#include "interrupts.h"

#include <algorithm>
#include <thread>

namespace cli {

void pause(std::chrono::milliseconds duration, const std::atomic<bool>* cancel) {
    const auto end = std::chrono::steady_clock::now() + duration;
    auto stopping = [cancel] { return interrupted() || (cancel && *cancel); };
    for (auto now = std::chrono::steady_clock::now(); !stopping() && now < end;
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(20), end - now));
}

} // namespace cli
