#include "fake_card.h"

#include <sstream>
#include <stdexcept>

namespace {

#if defined(_WIN32)
const std::string kPrefix = "", kSuffix = ".dll";
#else
const std::string kPrefix = "lib", kSuffix = ".so";
#endif

} // namespace

#if defined(_WIN32)
std::string FakeCard::folder() {
    return driver::executableDirectory() + "\\fakes";
}
std::string FakeCard::simcardFolder() {
    return driver::executableDirectory();
}
std::string FakeCard::libraryPath(const std::string& variant) {
    return folder() + "\\" + fileName(variant);
}
#else
std::string FakeCard::folder() {
    return FAKE_DRIVER_DIR;
}
std::string FakeCard::simcardFolder() {
    return SIMCARD_DIR;
}
std::string FakeCard::libraryPath(const std::string& variant) {
    return folder() + "/" + fileName(variant);
}
#endif

std::string FakeCard::fileName(const std::string& variant) {
    return kPrefix + (variant.empty() ? "fakecard" : "fakecard_" + variant) + kSuffix;
}

FakeCard::FakeCard(const std::string& variant) : variant_(variant) {
    std::string error;
    library_ = driver::SharedLibrary::openPath(libraryPath(variant), error);
    if (!library_)
        throw std::runtime_error("fake driver not loadable: " + error);
    reset();
}

driver::LibrarySearch FakeCard::search() const {
    return {fileName(variant_), {folder()}, false};
}

template <typename Fn> Fn FakeCard::fn(const char* name) const {
    auto* address = library_->symbol(name);
    if (!address)
        throw std::runtime_error(std::string("fake driver lacks ") + name);
    return reinterpret_cast<Fn>(address);
}

std::vector<std::string> FakeCard::calls() const {
    std::vector<std::string> lines;
    std::istringstream log(fn<const char* (*)()>("Fake_Log")());
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

const void* FakeCard::lastBuffer() const {
    return fn<const void* (*)()>("Fake_LastBuffer")();
}

void FakeCard::reset() {
    fn<void (*)()>("Fake_Reset")();
}

void FakeCard::setReply(const std::vector<std::uint8_t>& bytes) {
    fn<void (*)(const std::uint8_t*, int)>("Fake_SetReply")(bytes.data(),
                                                            static_cast<int>(bytes.size()));
}

void FakeCard::setIOCtlResult(std::int32_t result) {
    fn<void (*)(std::int32_t)>("Fake_SetIOCtlResult")(result);
}

void FakeCard::setInputWords(const std::vector<std::int16_t>& words) {
    fn<void (*)(const std::int16_t*, int)>("Fake_SetInputWords")(words.data(),
                                                                 static_cast<int>(words.size()));
}

void FakeCard::setInputDelayMs(int ms) {
    fn<void (*)(int)>("Fake_SetInputDelayMs")(ms);
}
