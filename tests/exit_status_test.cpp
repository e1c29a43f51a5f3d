// dio-cli's exit statuses as its manual page lists them: every status the
// program has, and none it has not, in the same order.
#include "core/base/exit_status.h"
#include "driver/shared_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// The statuses the page's EXIT STATUS section names, one after each ".TP".
std::vector<std::string> manualStatuses() {
#if defined(_WIN32) // a copy beside the tests: a path fixed at build time would not survive
    std::ifstream page(driver::executableDirectory() + "\\dio-cli.1");
#else
    std::ifstream page(DIO_CLI_MANUAL);
#endif
    std::vector<std::string> statuses;
    bool inSection = false, named = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0)
            inSection = line == ".SH EXIT STATUS";
        else if (inSection && named)
            statuses.push_back(line);
        named = inSection && line == ".TP";
    }
    return statuses;
}

TEST(ExitStatus, TheManualPageListsEachStatusTheProgramHas) {
    std::vector<std::string> program;
    for (cli::ExitStatus status : cli::kExitStatuses)
        program.push_back(status == cli::ExitStatus::Signal
                              ? std::to_string(cli::code(status)) + " + N"
                              : std::to_string(cli::code(status)));
    EXPECT_EQ(manualStatuses(), program);
}

} // namespace
