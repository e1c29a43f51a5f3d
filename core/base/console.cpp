#include "console.h"

#include <algorithm>
#include <thread>

namespace cli {

bool writeWithin(Stream stream, const std::string& utf8, std::chrono::milliseconds patience) {
    const auto end = std::chrono::steady_clock::now() + patience;
    for (std::size_t done = 0;;) {
        done += writeWithoutWaiting(stream, utf8.substr(done));
        if (done == utf8.size())
            return writtenWithin(stream,
                                 std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::max(end - std::chrono::steady_clock::now(),
                                              std::chrono::steady_clock::duration::zero())));
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace cli
