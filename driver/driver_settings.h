#pragma once
// What the driver libraries built here (the Modbus TCP, comedi and GPIO
// drivers) share in reading their settings: "key = value" lines, '#' starting
// a comment, or the same inline separated by ';', found in a variable of the
// driver's own (inline, or the absolute path of a file) or in a file beside
// the library.

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace driver {

std::string trimmed(const std::string& text);

// A whole number from low to high, or none.
std::optional<int> wholeNumber(const std::string& text, long low, long high);

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

// Who owns a device node and with what mode ("它属 root:gpio，权限 0660；"),
// or "" where it cannot be seen (platform code).
std::string ownerOf(const std::string& path);

// Whether a variable's value names a file, by an absolute path (platform code).
bool namesFile(const std::string& text);
// The folder of the library this code is linked into, with its separator (platform code).
std::string ownFolder();

} // namespace driver
