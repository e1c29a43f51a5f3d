#include "driver/driver_settings.h"

#include <dlfcn.h>

namespace driver {

bool namesFile(const std::string& text) {
    return !text.empty() && text[0] == '/';
}

std::string ownFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ownFolder), &info);
    const std::string file(info.dli_fname ? info.dli_fname : "");
    return file.substr(0, file.rfind('/') + 1);
}

} // namespace driver
