#include "card_memory.h"

#include <cctype>

#if defined(_WIN32)
#include <windows.h>
#else
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

#if defined(_WIN32)
std::string backingFile(const std::string& card) {
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    const std::string name = sharedMemoryName(card);
    // "Local\adcard-sim-NAME" in the temporary folder as "adcard-sim-NAME.bin".
    return std::string(folder, length > 0 && length < sizeof folder ? length : 0) +
           name.substr(name.find('\\') + 1) + ".bin";
}
#endif

} // namespace simcard
