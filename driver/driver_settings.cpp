#include "driver/driver_settings.h"

#include "convert/digits.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace driver {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::optional<int> wholeNumber(const std::string& text, long low, long high) {
    const std::optional<long> value = convert::decimalNumber(text, 6);
    return value && *value >= low && *value <= high ? std::optional<int>(static_cast<int>(*value))
                                                    : std::nullopt;
}

std::optional<int> milliseconds(const std::string& text, long low, long high) {
    const bool ms = text.size() > 2 && text.compare(text.size() - 2, 2, "ms") == 0;
    return wholeNumber(ms ? text.substr(0, text.size() - 2) : text, low, high);
}

std::optional<std::array<int, 3>> captionNumbers(const std::string& text) {
    std::istringstream numbers(text);
    std::array<int, 3> caption{};
    std::string word, extra;
    for (int& n : caption) {
        const std::optional<int> read = numbers >> word ? wholeNumber(word, 0, 255) : std::nullopt;
        if (!read)
            return std::nullopt;
        n = *read;
    }
    return numbers >> extra ? std::nullopt : std::optional<std::array<int, 3>>(caption);
}

bool readKeyValues(const std::string& text,
                   const std::function<std::string(const std::string&, const std::string&)>& set,
                   std::string& error) {
    std::istringstream lines(text);
    for (std::string line;
         std::getline(lines, line, text.find('\n') == std::string::npos ? ';' : '\n');) {
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        const auto equals = line.find('=');
        const std::string why = equals == std::string::npos ? "应为“设置 = 值”"
                                                            : set(trimmed(line.substr(0, equals)),
                                                                  trimmed(line.substr(equals + 1)));
        if (!why.empty()) {
            error = "“" + line + "”：" + why;
            return false;
        }
    }
    return true;
}

SettingsText settingsText(const char* variable, const char* file, bool defaultsWithout) {
    const char* value = std::getenv(variable);
    SettingsText read{value ? value : "", variable, ""};
    if (!read.text.empty() && !namesFile(read.text))
        return read;
    const bool beside = read.text.empty();
    read.where = beside ? ownFolder() + file : read.text;
    read.text.clear();
    std::error_code error;
    const auto status = std::filesystem::status(read.where, error);
    if (beside && defaultsWithout && status.type() == std::filesystem::file_type::not_found)
        return read;
    constexpr std::uintmax_t kLargest = std::uintmax_t{64} * 1024;
    if (error || status.type() != std::filesystem::file_type::regular)
        read.problem = "读不了配置文件 " + read.where + "：" +
                       (error ? error.message() : std::string("不是普通文件"));
    else if (std::filesystem::file_size(read.where, error) > kLargest)
        read.problem = "配置文件 " + read.where + " 太大（超过 64 KiB）";
    if (!read.problem.empty())
        return read;
    std::ifstream in(read.where, std::ios::binary);
    std::ostringstream whole;
    whole << in.rdbuf();
    if (!in)
        read.problem = "读不了配置文件 " + read.where + "：" + std::strerror(errno);
    else
        read.text = whole.str().substr(0, kLargest);
    return read;
}

} // namespace driver
