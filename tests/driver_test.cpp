#include "driver/dlldef.h"
#include "driver/driver_error.h"
#include "driver/word_size.h"
#include "fake_card.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using driver::DllDef;
using driver::LibrarySearch;

// A fresh folder, removed with the object.
struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("dio-" + std::to_string(std::uintptr_t(this)));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() { fs::remove_all(path); }
};

// The start of a library of 32 or 64 bits, as the loader sees it: ELF's class,
// or PE's optional header magic (0x10B or 0x20B).
std::string header(bool pe, int bits) {
    std::string bytes(0x200, '\0');
    if (!pe)
        return bytes.replace(0, 7, {0x7f, 'E', 'L', 'F', char(bits / 32), 1, 1});
    bytes[0x3C] = 0x40;
    return bytes.replace(0, 2, "MZ")
        .replace(0x40, 4, {'P', 'E', 0, 0})
        .replace(0x58, 2, {0x0B, char(bits / 32)});
}

// The library is loaded at the first call; arguments and buffers pass as they are.
TEST(DllDef, LoadsAtTheFirstCallAndPassesEverythingThrough) {
    FakeCard fake;
    fake.state() = {{0, 0, 0, 0, 3}, {0, -32767, 0, 0, 99}, 5};
    DllDef dll(fake.search());
    EXPECT_FALSE(dll.isLoaded());
    dll.IOCtl(100, dll.boardInfoRequest.data(), -1, dll.boardInfoReply.data());
    dll.Zan_DI(4, dll.diBuffer.data());
    dll.Zan_DOBit(-1, 32767);
    dll.Zan_DO(-32768, 255);
    EXPECT_EQ(dll.boardInfoReply[4] + dll.diBuffer[1] + dll.diBuffer[4], 3 - 32767 + 99);
    EXPECT_EQ(fake.log(),
              "IOCtl(100,0,0,0,-1)\nZan_DI(4)\nZan_DOBit(-1,32767)\nZan_DO(-32768,255)\n");
}

// Nothing found is the runtime's error 53, saying where it looked; nothing is
// kept, so the next call looks again. A missing entry point is error 453 at its
// own first call (the rest of the library works without it, see panel_test). A file that is there
// but will not load is error 48 with its path and why, and ends the search: a good copy further on
// is not loaded instead. A library planted in the current folder is never loaded, through the
// system's search or a relative name or folder; by its full path it is.
TEST(DllDef, FindsTheLibraryByFullPathOrTheSystemsSearchOnly) {
    TempFolder cwd, empty;
    const std::string at = cwd.path.string(), name = FakeCard::fileName(""),
                      path = (cwd.path / name).string();
    const std::string library =
        (std::ostringstream() << std::ifstream(FakeCard::path(""), std::ios::binary).rdbuf()).str();
    const int own = driver::kOwnWordSize, other = 96 - own;
    const std::string why = "\n系统的说明：", relative = (fs::path(".") / name).string();
    fs::create_directories(cwd.path / "sub");
    fs::copy_file(fs::u8path(FakeCard::path("")), cwd.path / "sub" / name);
    const fs::path before = fs::current_path();
    fs::current_path(cwd.path);
    const std::string missing = "运行时错误 53：文件未找到：",
                      unloadable = "运行时错误 48：加载 DLL 错误：";
    const std::string sizes = "\n该驱动程序是 " + std::to_string(other) + " 位的，本程序是 " +
                              std::to_string(own) + " 位的，须用 " + std::to_string(own) +
                              " 位的驱动程序。";
    // clang-format off
    const std::tuple<LibrarySearch, std::string, std::string> cases[] = {
        {{"none", {at}, true}, "", missing + "none\n已查找：" + at + "、系统库路径\n"},
        {{"none", {at}, false}, "", missing + "none\n已查找：" + at + "$"},
        {LibrarySearch::cardDriverIn(at), "", missing + (kWindows ? "adcard.dll" : "libadcard.so") + "\n已查找：" + at + "$"},
        {{"sub/" + name, {}, true}, "", missing + "sub/" + name + "\n已查找：系统库路径\n系统的说明：" + (kWindows ? "" : "sub/" + name + ": not a bare file name$")},
        {{name, {empty.path.string()}, true}, library, missing},
        {{name, {at, FAKE_DRIVER_FOLDER}, true}, "not a library", unloadable + path + why},
        {{name, {at, FAKE_DRIVER_FOLDER}, true}, header(kWindows, own), unloadable + path + why},
        {{name, {at, FAKE_DRIVER_FOLDER}, true}, header(kWindows, other), unloadable + path + sizes + why},
        {{name, {"."}, false}, library, unloadable + relative + why + relative + ": not an absolute path$"},
        {{name, {at}, false}, library, "$"},
        {{FakeCard::fileName("no_Zan_DO"), {FAKE_DRIVER_FOLDER}, false}, "",
         "运行时错误 453：在 " + FakeCard::path("no_Zan_DO") + " 中找不到 DLL 入口点 " + adcard::Zan_DOName + "$"}};
    // clang-format on
    // Each message is as given where it ends in "$", else starts so (the system's reason follows).
    for (const auto& [search, bytes, error] : cases) {
        std::ofstream(cwd.path / name, std::ios::binary) << bytes;
        DllDef dll(search);
        for (int call = 0; call < 2; ++call) {
            std::string message;
            try {
                dll.Zan_DO(0, 0);
            } catch (const driver::DriverError& e) {
                message = e.what();
            }
            EXPECT_EQ((message + "$").substr(0, error.size()), error);
        }
        EXPECT_EQ(dll.isLoaded() ? dll.libraryPath() : "", error == "$" ? path
                                                           : error.find("453") != std::string::npos
                                                               ? FakeCard::path("no_Zan_DO")
                                                               : "");
    }
    fs::current_path(before);
}

// The other format's header, and headers cut short or pointing past their end.
TEST(WordSize, IsReadFromTheLibrarysHeaderOnly) {
    std::string farOffset = header(true, 32).substr(0, 0x90);
    farOffset[0x3C] = 0x7F;
    EXPECT_EQ(driver::peWordSize(header(true, 32)).value_or(0) +
                  driver::peWordSize(header(true, 64)).value_or(0) +
                  driver::elfWordSize(header(false, 32)).value_or(0) +
                  driver::elfWordSize(header(false, 64)).value_or(0),
              192);
    for (const std::string& bytes :
         {header(true, 64).substr(0, 0x59), farOffset, header(false, 64), std::string("MZ")})
        EXPECT_FALSE(driver::peWordSize(bytes) || driver::elfWordSize(bytes.substr(0, 4) + "\x03"));
}

// The simulated card, the panel's default driver. Each test runs in a process
// of its own, so each starts with all lines clear. Channel 9 (group 1, bit 0) is
// left by a byte to group 0; only a byte's low bits count; any value but 0 sets
// a line; what lies outside the 128 lines is ignored.
TEST(SimulatedCard, IdentifiesItselfAndReadsBackWhatIsWritten) {
    DllDef dll(LibrarySearch::cardDriverIn(SIMCARD_FOLDER));
    std::uint8_t request[8] = {70, 64}, reply[8] = {};
    EXPECT_EQ(dll.IOCtl(100, request, 100, reply), 0);
    EXPECT_EQ(std::vector<int>(reply, reply + 5), std::vector<int>({51, 8, 0, 0, 1}));
    dll.Zan_DOBit(8, 1);
    for (const auto& [group, byte] : {std::pair(0, 0xFF), {15, 0x1A5}, {16, 0xFF}, {-1, 0xFF}})
        dll.Zan_DO(group, byte);
    for (const auto& [bit, value] : {std::pair(127, 5), {0, 0}, {-1, 1}, {128, 1}})
        dll.Zan_DOBit(bit, value);
    std::int16_t words[33];
    std::fill_n(words, 33, -7);
    EXPECT_EQ(dll.Zan_DI(32767, words), 16);
    EXPECT_EQ(std::vector<int>(words, words + 17),
              std::vector<int>({0xFE, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA5 | 0x80, -7}));
}

} // namespace
