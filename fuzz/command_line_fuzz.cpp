// Any bytes as a command line (one argument a line): dio-cli reads it into a
// command or refuses it with a UsageError, and nothing else: no other
// exception, no crash, no hang. Broker URLs, dates, channel lists, durations
// and addresses all pass here. Map files named are left out: reading one is
// the file's business, not the command line's.
#include "check.h"
#include "cli/command_line.h"
#include "core/base/errors.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = {"dio-cli"};
    std::string argument;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            arguments.push_back(argument);
            argument.clear();
        } else {
            argument += static_cast<char>(data[i]);
        }
    }
    for (std::string& word : arguments)
        if (word.rfind("-m", 0) == 0 || word.rfind("--m", 0) == 0)
            word = "--mqtt";
    try {
        cli::parseCommandLine(arguments);
    } catch (const cli::UsageError&) {
    }
    return 0;
}
