#include "shared_library.h"

#include <utility>

#if defined(_WIN32)
#include <filesystem>
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace driver {
namespace {

#if defined(_WIN32)

std::wstring widen(const std::string& text) {
    if (text.empty())
        return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string toUtf8(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    wchar_t* buffer = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = buffer ? toUtf8(buffer) : "error " + std::to_string(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

void* load(const std::string& name, DWORD flags, std::string& error) {
    // Keeps the current folder out of every later search of the process too,
    // including the searches for the driver's own dependencies.
    static const bool restricted = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != 0;
    (void)restricted;
    HMODULE module = LoadLibraryExW(widen(name).c_str(), nullptr, flags);
    if (!module)
        error = lastErrorText();
    return reinterpret_cast<void*>(module);
}

std::string loadedPath(void* handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(handle), path.data(),
                                                static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return toUtf8(path);
        }
        path.resize(path.size() * 2);
    }
}

void* loadPath(const std::string& path, std::string& error) {
    // The loader wants backslashes; a relative path would be read against the
    // current folder: only absolute paths are taken.
    std::string native = path;
    for (char& c : native)
        if (c == '/')
            c = '\\';
    if (!std::filesystem::u8path(native).is_absolute()) {
        error = path + ": not an absolute path";
        return nullptr;
    }
    return load(native, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, error);
}

void* loadFromSystem(const std::string& fileName, std::string& error) {
    return load(fileName, LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS, error);
}

#else

void* load(const std::string& name, std::string& error) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "dlopen failed";
    }
    return handle;
}

std::string loadedPath(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    // RUNPATH entries such as $ORIGIN/../lib leave ".." in the name.
    char resolved[PATH_MAX];
    return realpath(map->l_name, resolved) ? std::string(resolved) : std::string(map->l_name);
}

void* loadPath(const std::string& path, std::string& error) {
    // A name without a slash would make dlopen search, and a relative path is
    // read against the current folder: only absolute paths are taken.
    if (path.empty() || path.front() != '/') {
        error = path + ": not an absolute path";
        return nullptr;
    }
    return load(path, error);
}

void* loadFromSystem(const std::string& fileName, std::string& error) {
    // A bare name: the loader's standard search (RUNPATH, LD_LIBRARY_PATH, the
    // cache, the system folders), which does not look in the current folder.
    if (fileName.empty() || fileName.find('/') != std::string::npos) {
        error = fileName + ": not a bare file name";
        return nullptr;
    }
    return load(fileName, error);
}

#endif

} // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::openPath(const std::string& path,
                                                       std::string& error) {
    void* handle = loadPath(path, error);
    return handle ? std::unique_ptr<SharedLibrary>(new SharedLibrary(handle, path)) : nullptr;
}

std::unique_ptr<SharedLibrary> SharedLibrary::openFromSystem(const std::string& fileName,
                                                             std::string& error) {
    void* handle = loadFromSystem(fileName, error);
    if (!handle)
        return nullptr;
    // Messages name the file the search found, not only the name it searched for.
    const std::string found = loadedPath(handle);
    return std::unique_ptr<SharedLibrary>(
        new SharedLibrary(handle, found.empty() ? fileName : found));
}

#if defined(_WIN32)

SharedLibrary::~SharedLibrary() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

void* SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string executableDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : toUtf8(path.substr(0, slash));
}

#else

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
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

#endif

} // namespace driver
