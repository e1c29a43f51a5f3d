#pragma once

#include "driver/library_search.h"
#include "fake_card.h"
#include "simcard/card_memory.h"

#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

// The simulated card under a name of the test's own (ADCARD_SIM_NAME), so that
// tests running side by side, and the user's own card, do not meet; its shared
// memory goes with the object. Faults are set at will: the card reads them
// again when they change.
class OwnSimulatedCard {
public:
    OwnSimulatedCard() { set("ADCARD_SIM_NAME", name_); }
    ~OwnSimulatedCard() {
        set("ADCARD_SIM_FAULTS", "");
        set("ADCARD_SIM_UNIT", "");
#if defined(_WIN32) // gone when the card's last handle closes
        DeleteFileA(simcard::backingFile(name_).c_str());
#else
        shm_unlink(simcard::sharedMemoryName(name_).c_str());
#endif
    }
    void faults(const std::string& description) {
        set("ADCARD_SIM_FAULTS", description);
    }
    // A unit under test in place of the loopback (ADCARD_SIM_UNIT).
    void unit(const std::string& description) {
        set("ADCARD_SIM_UNIT", description);
    }
    driver::LibrarySearch search() const {
        return driver::LibrarySearch::cardDriverIn(SIMCARD_FOLDER);
    }

private:
    static void set(const char* variable, const std::string& value) {
#if defined(_WIN32)
        SetEnvironmentVariableA(variable, value.c_str());
#else
        setenv(variable, value.c_str(), 1);
#endif
    }

#if defined(_WIN32)
    std::string name_ = "test-" + std::to_string(GetCurrentProcessId());
#else
    std::string name_ = "test-" + std::to_string(getpid());
#endif
};
