#include "card_memory.h"

#include <string>
#include <windows.h>

namespace simcard {
namespace {

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // names are ASCII
}

} // namespace

// The mapping is named, so that every process of the session opens the same;
// and it is backed by a file in the user's temporary folder, so that the
// outputs stay set when no process has the card open, as a card's do.
CardMemory* openSharedMemory(std::string& why) {
    const std::string name = sharedMemoryName(environmentValue("ADCARD_SIM_NAME"));
    HANDLE file = CreateFileW(wide(backingFile(environmentValue("ADCARD_SIM_NAME"))).c_str(),
                              GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The handles stay open while the library is loaded.
    HANDLE mapping = file == INVALID_HANDLE_VALUE
                         ? nullptr
                         : CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, sizeof(CardMemory),
                                              wide(name).c_str());
    void* memory =
        mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CardMemory)) : nullptr;
    if (!memory)
        why = name + "：错误 " + std::to_string(GetLastError());
    return static_cast<CardMemory*>(memory);
}

std::string environmentValue(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

} // namespace simcard
