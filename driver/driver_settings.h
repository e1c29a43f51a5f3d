#pragma once
// What the driver libraries built here (the Modbus TCP, comedi and GPIO
// drivers) share in reading their settings: "key = value" lines, '#' starting
// a comment, or the same inline separated by ';', found in a variable of the
// driver's own (inline, or the absolute path of a file) or in a file beside
// the library.

#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace driver {

std::string trimmed(const std::string& text);

// A whole number from low to high, or none.
std::optional<int> wholeNumber(const std::string& text, long low, long high);

// Milliseconds from low to high, as "100" or "100ms"; none where malformed.
std::optional<int> milliseconds(const std::string& text, long low, long high);

// The board's three numbers, as IOCtl answers them ("51 8 1"); none where the
// text is not three numbers from 0 to 255.
std::optional<std::array<int, 3>> captionNumbers(const std::string& text);

// Calls `set` for each key and value of the text, in order; false, and
// `error` naming the line and why (what `set` said), at the first that is
// wrong.
bool readKeyValues(
    const std::string& text,
    const std::function<std::string(const std::string& key, const std::string& value)>& set,
    std::string& error);

struct SettingsText {
    std::string text;
    std::string where;   // the variable, or the file read
    std::string problem; // why no text could be read, or ""
};

// The text of the variable named, or of the file it names by an absolute path
// (a relative one could send the program to a planted file), or of `file`
// beside the library this code is linked into, where the variable is unset
// (with `defaultsWithout`, no such file is no settings, every one at its
// default). A file is read only where it is a regular file of at most 64 KiB
// (a FIFO would hang the program, a device never end).
SettingsText settingsText(const char* variable, const char* file, bool defaultsWithout = false);

// The driver's settings, from settingsText parsed by `parse`; none where they
// cannot be read or are wrong, and then `lastError` says why, naming the
// driver ("comedi 驱动程序的配置（…）不对：…"), once on the standard error too.
template <typename Settings>
std::optional<Settings>
readSettings(const char* variable, const char* file, const std::string& driver,
             std::optional<Settings> (*parse)(const std::string&, std::string&),
             std::string& lastError, bool defaultsWithout = false) {
    const SettingsText found = settingsText(variable, file, defaultsWithout);
    std::string why;
    std::optional<Settings> parsed = found.problem.empty() ? parse(found.text, why) : std::nullopt;
    lastError = !found.problem.empty() ? driver + " 驱动程序：" + found.problem
                : why.empty()          ? ""
                              : driver + " 驱动程序的配置（" + found.where + "）不对：" + why;
    if (!parsed)
        std::fprintf(stderr, "%s\n", lastError.c_str());
    return parsed;
}

// Which device a node is, for the self-test's lock: "kind:MAJOR:MINOR", so
// that a link to the node is the same device; "kind:path" where it is not a
// device to be seen (platform code).
std::string nodeId(const std::string& kind, const std::string& path);

// Who owns a device node and with what mode ("它属 root:gpio，权限 0660；"),
// or "" where it cannot be seen (platform code).
std::string ownerOf(const std::string& path);

// Whether a variable's value names a file, by an absolute path (platform code).
bool namesFile(const std::string& text);
// The folder of the library this code is linked into, with its separator (platform code).
std::string ownFolder();

} // namespace driver
