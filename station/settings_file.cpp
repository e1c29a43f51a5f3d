#include "settings_file.h"

#include "convert/printable.h"
#include "core/base/errors.h"

namespace station {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::vector<CLI::ConfigItem> SettingsFile::from_config(std::istream& input) const {
    const CLI::Option* config = app_.get_config_ptr();
    const std::string path = config && *config ? config->as<std::string>() : "";
    std::vector<CLI::ConfigItem> items;
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line == "[default]")
            continue;
        auto refuse = [&](const std::string& what) {
            return cli::UsageError("设置文件“" + path + "”第 " + std::to_string(number) + " 行：" +
                                   what + "“" + convert::printable(line, false) + "”");
        };
        if (line[0] == '[')
            throw refuse("不认识的节");
        const auto equals = line.find('=');
        const std::string key = trimmed(line.substr(0, equals));
        if (equals == std::string::npos || key.empty() || key == "help" || key == "config" ||
            !app_.get_option_no_throw("--" + key))
            throw refuse("不认识的选项，应是“选项 = 值”，选项为 --help 列出的（不带 --）：");
        CLI::ConfigItem item;
        item.name = key;
        item.inputs = {unquoted(trimmed(line.substr(equals + 1)))};
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace station
