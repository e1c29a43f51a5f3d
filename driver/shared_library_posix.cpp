#include "shared_library.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace driver {
namespace {

// dlerror names the file it could not open first: another file than ours is a
// library ours needs ("libx.so: cannot open shared object file: ...").
std::string neededFileIn(const std::string& reason, const std::string& path) {
    if (reason.rfind(path, 0) == 0)
        return {};
    const auto colon = reason.find(": cannot open shared object file");
    return colon == std::string::npos ? std::string() : reason.substr(0, colon);
}

} // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, LoadFailure& failure) {
    if (path.empty() || path.front() != '/') {
        failure.reason = path + ": not an absolute path";
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        failure.reason = reason ? reason : "dlopen failed";
        const std::string needed = neededFileIn(failure.reason, path);
        failure.neededMissing = !needed.empty();
        if (failure.neededMissing)
            failure.missingNeeded.push_back(needed);
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle, path));
}

SharedLibrary::~SharedLibrary() {
    dlclose(handle_);
}

void* SharedLibrary::symbol(const char* name) const {
    return dlsym(handle_, name);
}

std::string executableDirectory() {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.find_last_of('/'));
}

void lockLibrarySearch() {}

} // namespace driver
