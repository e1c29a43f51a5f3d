#include "card_memory.h"

#include <cctype>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace simcard {

std::string sharedMemoryName(const std::string& card) {
    std::string name = card.empty() ? "default" : card;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            c = '_';
#if defined(_WIN32)
    return "Local\\adcard-sim-" + name; // the session's: one card per user
#else
    // Names are the machine's: the user's id keeps one card per user.
    return "/adcard-sim-" + std::to_string(getuid()) + "-" + name;
#endif
}

} // namespace simcard
