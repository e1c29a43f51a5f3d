#include "card_memory.h"

#include "driver/win_text.h"

#include <string>
#include <windows.h>

namespace simcard {

// The mapping is named, so that every process of the session opens the same;
// and it is backed by a file in the user's temporary folder (the user's own),
// so that the outputs stay set when no process has the card open, as a card's
// do. A file of another size is not the card's, and is left alone.
CardMemory* openSharedMemory(std::string& why) {
    const std::string card = environmentValue("ADCARD_SIM_NAME");
    const std::string name = sharedMemoryName(card), path = backingFile(card);
    if (name.empty() || path.empty()) {
        why = "板卡名“" + card + "”太长";
        return nullptr;
    }
    HANDLE file = CreateFileW(driver::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size{};
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && size.QuadPart != 0 &&
        size.QuadPart != static_cast<LONGLONG>(sizeof(CardMemory))) {
        why = path + " 的大小是 " + std::to_string(size.QuadPart) + " 字节，应为 " +
              std::to_string(sizeof(CardMemory)) + "，不用它";
        CloseHandle(file);
        return nullptr;
    }
    // The handles stay open while the library is loaded.
    HANDLE mapping = file == INVALID_HANDLE_VALUE
                         ? nullptr
                         : CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, sizeof(CardMemory),
                                              driver::widen(name).c_str());
    void* memory =
        mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CardMemory)) : nullptr;
    if (!memory)
        why = name + "：错误 " + std::to_string(GetLastError());
    return static_cast<CardMemory*>(memory);
}

std::string environmentValue(const char* name) {
    wchar_t value[1024];
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    const DWORD length = GetEnvironmentVariableW(wide.c_str(), value, 1024);
    return length > 0 && length < 1024 ? driver::toUtf8(std::wstring(value, length))
                                       : std::string();
}

} // namespace simcard
