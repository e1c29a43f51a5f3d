#pragma once

#include <memory>
#include <string>

namespace driver {

// An open dynamic library; closed when the object goes.
class SharedLibrary {
public:
    // Opens a library by full path. Returns null, and the loader's reason in
    // `error`, when it cannot be opened.
    static std::unique_ptr<SharedLibrary> openPath(const std::string& path, std::string& error);
    // Opens a library by file name through the system's standard library search,
    // which never includes the current folder.
    static std::unique_ptr<SharedLibrary> openFromSystem(const std::string& fileName,
                                                         std::string& error);

    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;
    // Where it was opened from: the path given, or the file the system's search found.
    const std::string& path() const { return path_; }

private:
    SharedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    void* handle_;
    std::string path_;
};

// The folder that holds the running executable (UTF-8), or empty if unknown.
std::string executableDirectory();

} // namespace driver
