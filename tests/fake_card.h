#pragma once

#include "driver/dlldef.h"
#include "driver/shared_library.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The test's side of a fake driver library: it opens the same library the
// binding loads (the loader hands both the one instance) and steers it.
class FakeCard {
public:
    // `variant` is "" for the complete fake, "no_<entry point>" for one lacking it,
    // "slow" or "garbage" for the fault drivers.
    explicit FakeCard(const std::string& variant = "");

    // A search that finds this fake and nothing else.
    driver::LibrarySearch search() const;
    // The calls the driver received since the last reset, one line each.
    std::vector<std::string> calls() const;
    const void* lastBuffer() const;

    void reset();
    void setReply(const std::vector<std::uint8_t>& bytes);
    void setIOCtlResult(std::int32_t result);
    void setInputWords(const std::vector<std::int16_t>& words);
    void setInputDelayMs(int ms);

    // Where the fakes and the simulated card were built.
    static std::string folder();
    static std::string simcardFolder();
    static std::string libraryPath(const std::string& variant);
    static std::string fileName(const std::string& variant);

private:
    template <typename Fn> Fn fn(const char* name) const;

    std::string variant_;
    std::unique_ptr<driver::SharedLibrary> library_;
};
