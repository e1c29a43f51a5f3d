#pragma once
// The station's settings file as a person writes it: "option = value" a line,
// the options those of the command line, without their "--". Blank lines and
// lines starting with # or ; are comments; a value stands as it is written,
// a # in it too (a part "DIO-128 #B"), without the quotes around it where it
// has them; a byte-order mark at the start (Notepad's) is skipped. A line
// that names no option is refused with its number, as a misspelt option is
// on the command line: it would else be passed over, its default used.

#include <CLI/CLI.hpp>

namespace station {

class SettingsFile : public CLI::Config {
public:
    explicit SettingsFile(const CLI::App& app) : app_(app) {}
    std::string to_config(const CLI::App*, bool, bool, std::string) const override { return {}; }
    // Throws cli::UsageError naming the file and the line.
    std::vector<CLI::ConfigItem> from_config(std::istream& input) const override;

private:
    const CLI::App& app_;
};

} // namespace station
