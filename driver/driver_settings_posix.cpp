#include "driver/driver_settings.h"

#include <cstdio>
#include <dlfcn.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace driver {

bool namesFile(const std::string& text) {
    return !text.empty() && text[0] == '/';
}

std::string nodeId(const std::string& kind, const std::string& path) {
    struct stat node {};
    return stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode)
               ? kind + ":" + std::to_string(major(node.st_rdev)) + ":" +
                     std::to_string(minor(node.st_rdev))
               : kind + ":" + path;
}

std::string ownerOf(const std::string& path) {
    struct stat node {};
    if (stat(path.c_str(), &node) != 0)
        return "";
    const passwd* owner = getpwuid(node.st_uid);
    const group* group = getgrgid(node.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.st_mode & 07777));
    return "它属 " + std::string(owner ? owner->pw_name : std::to_string(node.st_uid)) + ":" +
           (group ? group->gr_name : std::to_string(node.st_gid)) + "，权限 " + mode + "；";
}

std::string ownFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ownFolder), &info);
    const std::string file(info.dli_fname ? info.dli_fname : "");
    return file.substr(0, file.rfind('/') + 1);
}

} // namespace driver
