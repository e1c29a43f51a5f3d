#include "host.h"

#include "driver/win_text.h"

#include <windows.h>

namespace cli {

std::string hostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? driver::toUtf8(std::wstring(name, size)) : "";
}

std::string userName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) && size > 0 ? driver::toUtf8(std::wstring(name, size - 1))
                                                 : "";
}

} // namespace cli
