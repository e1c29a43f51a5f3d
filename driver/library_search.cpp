#include "library_search.h"

#include "driver/shared_library.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace driver {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr const char* kCardDriverFile = "adcard.dll";
#else
constexpr const char* kCardDriverFile = "libadcard.so";
#endif

// '*' for any run of characters, '?' for one: the wildcards of include lines.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern.empty())
        return name.empty();
    if (pattern.front() == '*')
        return wildcardMatch(pattern.substr(1), name) ||
               (!name.empty() && wildcardMatch(pattern, name.substr(1)));
    return !name.empty() && (pattern.front() == '?' || pattern.front() == name.front()) &&
           wildcardMatch(pattern.substr(1), name.substr(1));
}

// The files an include pattern names (wildcards in the file name only), sorted
// as the loader reads them.
std::vector<std::string> includedFiles(const fs::path& pattern) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(pattern.parent_path(), error))
        if (wildcardMatch(pattern.filename().string(), entry.path().filename().string()))
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

void readLoaderConfig(const fs::path& file, int depth, std::vector<std::string>& folders) {
    std::ifstream in(file);
    for (std::string line; depth < 8 && std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        if (line.rfind("include", 0) == 0 && line.size() > 7 &&
            (line[7] == ' ' || line[7] == '\t')) {
            fs::path pattern = line.substr(line.find_first_not_of(" \t", 7));
            if (pattern.is_relative())
                pattern = file.parent_path() / pattern;
            for (const std::string& included : includedFiles(pattern))
                readLoaderConfig(included, depth + 1, folders);
        } else if (line.front() == '/') {
            folders.push_back(line);
        }
    }
}

// Each folder once, first place kept: merged /lib and /usr/lib are one folder.
void dropRepeats(LibrarySearch& search) {
    std::set<std::string> seen;
    auto repeated = [&seen](const std::string& folder) {
        std::error_code error;
        const fs::path canonical = fs::weakly_canonical(fs::u8path(folder), error);
        return !seen.insert(error ? folder : canonical.u8string()).second;
    };
    for (auto* list : {&search.folders, &search.systemFolders})
        list->erase(std::remove_if(list->begin(), list->end(), repeated), list->end());
}

} // namespace

LibrarySearch LibrarySearch::cardDriver() {
    LibrarySearch search{kCardDriverFile, {}, {}, {}};
    const std::string here = executableDirectory();
    if (!here.empty())
        search.folders.push_back(here);
    addSystemFolders(search);
    dropRepeats(search);
    return search;
}

LibrarySearch LibrarySearch::cardDriverIn(const std::string& folder) {
    return {kCardDriverFile, {folder}, {}, {}};
}

void addSearchPath(std::string_view list, const std::string& origin, const std::string& source,
                   std::vector<std::string>& folders, std::vector<std::string>& skipped) {
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        std::string entry(list.substr(start, end - start));
        for (const char* token : {"${ORIGIN}", "$ORIGIN"})
            if (entry.rfind(token, 0) == 0 && !origin.empty())
                entry = origin + entry.substr(std::char_traits<char>::length(token));
        if (!entry.empty() && entry.front() == '/' && entry.find('$') == std::string::npos)
            folders.push_back(fs::path(entry).lexically_normal().generic_string());
        else
            skipped.push_back("跳过 " + source + " 中的“" +
                              std::string(list.substr(start, end - start)) + "”：不是绝对路径");
        if (end == list.size())
            break;
        start = end + 1;
    }
}

std::vector<std::string> loaderConfigFolders(const std::string& path) {
    std::vector<std::string> folders;
    readLoaderConfig(path, 0, folders);
    return folders;
}

} // namespace driver
