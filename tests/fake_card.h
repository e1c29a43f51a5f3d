#pragma once

#include "driver/dlldef.h"
#include "fakecard/fake_state.h"

#include <memory>
#include <stdexcept>
#include <string>

// Where the test drivers are: on Windows beside the tests, for a path fixed at
// build time would not survive a run under another system's path names.
#if defined(_WIN32)
constexpr bool kWindows = true;
#define FAKE_DRIVER_FOLDER (driver::executableDirectory() + "\\fakes")
#define SIMCARD_FOLDER driver::executableDirectory()
#else
constexpr bool kWindows = false;
#define FAKE_DRIVER_FOLDER std::string(FAKE_DRIVER_DIR)
#define SIMCARD_FOLDER std::string(SIMCARD_DIR)
#endif

// The test's side of the fake driver: it opens the library the binding loads
// (the loader hands both the one instance), clears its state and steers it.
// `variant` is "" for the complete fake, "no_<entry point>" for one lacking it.
class FakeCard {
public:
    static std::string fileName(const std::string& variant) {
        const std::string name = variant.empty() ? "fakecard" : "fakecard_" + variant;
        return kWindows ? name + ".dll" : "lib" + name + ".so";
    }
    static std::string path(const std::string& variant) {
        return FAKE_DRIVER_FOLDER + (kWindows ? '\\' : '/') + fileName(variant);
    }
    explicit FakeCard(const std::string& variant = "")
        : search_{fileName(variant), {FAKE_DRIVER_FOLDER}, {}, {}} {
        driver::LoadFailure failure;
        library_ = driver::SharedLibrary::open(path(variant), failure);
        if (!library_)
            throw std::runtime_error("fake driver not loadable: " + failure.reason);
        state_ = reinterpret_cast<FakeState* (*)()>(library_->symbol("Fake_State"))();
        *state_ = FakeState{};
    }

    // A search that finds this fake and nothing else.
    const driver::LibrarySearch& search() const { return search_; }
    FakeState& state() const { return *state_; }
    // The calls received since the fake was cleared, a line each.
    std::string log() const { return std::string(state_->log, state_->logLength); }

private:
    driver::LibrarySearch search_;
    std::unique_ptr<driver::SharedLibrary> library_;
    FakeState* state_ = nullptr;
};
