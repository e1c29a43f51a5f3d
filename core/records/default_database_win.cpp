#include "default_database.h"

#include "core/base/errors.h"
#include "driver/win_text.h"

#include <cstdlib>

namespace cli::records {

std::string defaultDatabase() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        throw RecordFailed("不知道把记录库放在哪里（没有 LOCALAPPDATA）：用 --db 指定");
    const std::wstring folder = std::wstring(local) + L"\\dio-panel";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            throw RecordFailed("无法建立记录库的文件夹 " + driver::toUtf8(folder) + "（错误 " +
                               std::to_string(error) + "）");
    }
    // SQLite takes file names in UTF-8 on Windows too.
    return driver::toUtf8(folder) + "\\results.sqlite";
}

} // namespace cli::records
