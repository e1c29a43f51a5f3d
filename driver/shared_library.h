#pragma once

#include <memory>
#include <string>
#include <vector>

namespace driver {

// Why a library file that exists would not load.
struct LoadFailure {
    std::string reason;                     // the system's own words
    std::vector<std::string> missingNeeded; // libraries it needs that are nowhere to be found
    bool neededMissing = false;             // the system said a needed library is missing
};

// An open dynamic library; closed when the object goes.
class SharedLibrary {
public:
    // Opens a library by its absolute path: never by a bare name, which the
    // system's loader would search for, nor by a relative path, which it would
    // read against the current folder. Returns null, and why, when it cannot.
    static std::unique_ptr<SharedLibrary> open(const std::string& path, LoadFailure& failure);

    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;
    const std::string& path() const { return path_; }

private:
    SharedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    void* handle_;
    std::string path_;
};

// The folder that holds the running executable (UTF-8), or empty if unknown.
std::string executableDirectory();

// Keeps the current folder out of every later library search of the process,
// the driver's own dependencies included (Windows; elsewhere the loader never
// looks there unless told to). Call it first in main, before anything loads.
void lockLibrarySearch();

} // namespace driver
