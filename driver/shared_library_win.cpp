#include "shared_library.h"

#include "driver/library_header.h"
#include "driver/win_text.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace driver {
namespace {

std::string systemText(DWORD code) {
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

// Resolved at run time: a static import of SetDefaultDllDirectories would stop
// the program from starting at all on a Windows 7 without the update adding it.
template <typename Fn> Fn kernelFunction(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

// Whether LoadLibraryEx takes the LOAD_LIBRARY_SEARCH_* flags (the same update).
bool hasSearchFlags() {
    static const bool has = kernelFunction<FARPROC>("AddDllDirectory") != nullptr;
    return has;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool fileIn(const std::string& folder, const std::string& name) {
    std::error_code ignored;
    return !folder.empty() &&
           std::filesystem::is_regular_file(std::filesystem::u8path(folder + "\\" + name), ignored);
}

// The libraries a DLL imports that are neither loaded nor where its
// dependencies are looked for: its own folder, the program's, the system's.
std::vector<std::string> missingImports(const std::string& path) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    const std::string image{std::istreambuf_iterator<char>(file), {}};
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::string systemFolder = length && length < MAX_PATH ? toUtf8(system) : std::string();
    std::vector<std::string> missing;
    for (const std::string& name : peImportedLibraries(image)) {
        const bool apiSet = name.rfind("api-ms-", 0) == 0 || name.rfind("ext-ms-", 0) == 0;
        if (apiSet || GetModuleHandleW(widen(name).c_str()) || fileIn(folderOf(path), name) ||
            fileIn(executableDirectory(), name) || fileIn(systemFolder, name))
            continue;
        missing.push_back(name);
    }
    return missing;
}

} // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, LoadFailure& failure) {
    std::string native = path; // the loader wants backslashes
    for (char& c : native)
        if (c == '/')
            c = '\\';
    if (!std::filesystem::u8path(native).is_absolute()) {
        failure.reason = path + ": not an absolute path";
        return nullptr;
    }
    lockLibrarySearch(); // for programs that did not lock it first
    // Its dependencies from its own folder and the safe default folders only.
    const DWORD flags = hasSearchFlags()
                            ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                            : LOAD_WITH_ALTERED_SEARCH_PATH;
    HMODULE module = LoadLibraryExW(widen(native).c_str(), nullptr, flags);
    if (!module) {
        const DWORD code = GetLastError();
        failure.reason = systemText(code);
        failure.neededMissing = code == ERROR_MOD_NOT_FOUND;
        if (failure.neededMissing)
            failure.missingNeeded = missingImports(native);
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(module, path));
}

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
            return folderOf(toUtf8(path));
        }
        path.resize(path.size() * 2);
    }
}

void lockLibrarySearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (auto set = kernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories"))
        set(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

} // namespace driver
