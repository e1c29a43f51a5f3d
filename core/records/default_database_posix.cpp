#include "default_database.h"

#include "core/base/errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace cli::records {
namespace {

void makeFolder(const std::string& path) {
    // Each missing step, private to the user, as the XDG layout asks.
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string step = path.substr(0, slash);
        if (mkdir(step.c_str(), 0700) != 0 && errno != EEXIST)
            throw RecordFailed("无法建立记录库的文件夹 " + step + "：" + std::strerror(errno));
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

std::string defaultDatabase() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    if (data && data[0] == '/') // a relative one is to be ignored
        folder = data;
    else if (home && home[0] == '/')
        folder = std::string(home) + "/.local/share";
    else
        throw RecordFailed("不知道把记录库放在哪里（没有 XDG_DATA_HOME 或 HOME）：用 --db 指定");
    folder += "/dio-panel";
    makeFolder(folder);
    return folder + "/results.sqlite";
}

} // namespace cli::records
