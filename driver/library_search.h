#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace driver {

// Where a library is looked for, always by full path and in this order: the
// folders, then the system's folders. The first file found is loaded. One that
// will not load ends the search, but for a file of the other word size in a
// system folder, which is passed over as the system's loader passes it over
// (such folders list 32- and 64-bit libraries side by side).
struct LibrarySearch {
    std::string fileName;
    std::vector<std::string> folders;
    std::vector<std::string> systemFolders;
    // Entries not searched, and why: for the log.
    std::vector<std::string> skipped;

    // The card driver: beside the executable first, then where the system's
    // loader would look (never the current folder).
    static LibrarySearch cardDriver();
    // The card driver file in that one folder only (the simulated card in a build).
    static LibrarySearch cardDriverIn(const std::string& folder);
};

// Adds the folders the system's loader would search, as absolute folders only
// (platform code): on Linux, LD_LIBRARY_PATH, the executable's RUNPATH, the
// loader's configuration and the standard folders; on Windows, the system folder.
void addSystemFolders(LibrarySearch& search);

// Adds the absolute folders of a colon-separated list (LD_LIBRARY_PATH, a
// RUNPATH) to `folders`, with "$ORIGIN" read as `origin`. Empty, "." and
// relative entries, which the loader would read against the current folder,
// are skipped and noted, naming `source`.
void addSearchPath(std::string_view list, const std::string& origin, const std::string& source,
                   std::vector<std::string>& folders, std::vector<std::string>& skipped);

// The folders a loader configuration file (ld.so.conf) names, following its
// "include" lines; a missing file names none.
std::vector<std::string> loaderConfigFolders(const std::string& path);

} // namespace driver
