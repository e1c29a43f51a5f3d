#include "driver/driver_settings.h"

#include <cctype>
#include <windows.h>

namespace driver {

bool namesFile(const std::string& text) {
    return (text.size() > 2 && std::isalpha(static_cast<unsigned char>(text[0])) &&
            text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
           text.rfind("\\\\", 0) == 0;
}

std::string nodeId(const std::string& kind, const std::string& path) {
    return kind + ":" + path;
}

std::string ownerOf(const std::string& /*path*/) {
    return ""; // no device nodes here
}

std::string ownFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownFolder), &self);
    char path[MAX_PATH] = "";
    GetModuleFileNameA(self, path, MAX_PATH);
    const std::string file(path);
    return file.substr(0, file.find_last_of("\\/") + 1);
}

} // namespace driver
