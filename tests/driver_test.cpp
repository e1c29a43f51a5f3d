#include "driver/dlldef.h"
#include "driver/driver_error.h"
#include "driver/word_size.h"
#include "fake_card.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using driver::DllDef;
using driver::DriverError;
using Calls = std::vector<std::string>;

TEST(DllDef, BuffersStartZeroFilledWithTheirSizes) {
    DllDef dll(FakeCard().search());
    EXPECT_EQ(dll.boardInfoRequest.size(), 32001u);
    EXPECT_EQ(dll.boardInfoReply.size(), 32001u);
    EXPECT_EQ(dll.diBuffer.size(), 33u);
    EXPECT_EQ(dll.doBuffer.size(), 33u);
    for (auto b : dll.boardInfoRequest)
        ASSERT_EQ(b, 0);
    for (auto b : dll.boardInfoReply)
        ASSERT_EQ(b, 0);
    for (auto w : dll.diBuffer)
        ASSERT_EQ(w, 0);
    for (auto w : dll.doBuffer)
        ASSERT_EQ(w, 0);
}

TEST(DllDef, LoadsTheLibraryAtTheFirstCallOnly) {
    FakeCard fake;
    DllDef dll(fake.search());
    EXPECT_FALSE(dll.isLoaded());
    dll.Zan_DO(1, 0xA5);
    EXPECT_TRUE(dll.isLoaded());
    EXPECT_EQ(dll.libraryPath(), FakeCard::libraryPath(""));
    dll.Zan_DO(2, 3);
    EXPECT_EQ(fake.calls(), (Calls{"Zan_DO(1,165)", "Zan_DO(2,3)"}));
}

TEST(DllDef, PassesArgumentsAndBuffersExactly) {
    FakeCard fake;
    fake.setReply({80, 12, 7, 9, 3});
    fake.setIOCtlResult(0x12345678);
    fake.setInputWords({5, -32767, 0, 0x1234, 99});
    DllDef dll(fake.search());

    dll.boardInfoRequest[0] = 70;
    dll.boardInfoRequest[1] = 64;
    EXPECT_EQ(dll.IOCtl(100, dll.boardInfoRequest.data(), 100, dll.boardInfoReply.data()),
              0x12345678);
    EXPECT_EQ(fake.lastBuffer(), dll.boardInfoReply.data());
    EXPECT_EQ(dll.boardInfoReply[4], 3);

    dll.Zan_DI(4, dll.diBuffer.data());
    EXPECT_EQ(fake.lastBuffer(), dll.diBuffer.data());
    EXPECT_EQ(dll.diBuffer[1], -32767);
    EXPECT_EQ(dll.diBuffer[4], 99);

    dll.Zan_DOBit(-1, 32767);
    dll.Zan_DO(-32768, 255);
    EXPECT_EQ(fake.calls(), (Calls{"IOCtl(100,70,64,0,100)", "Zan_DI(4)", "Zan_DOBit(-1,32767)",
                                   "Zan_DO(-32768,255)"}));
}

TEST(DllDef, AMissingLibraryIsFileNotFoundNamingIt) {
    DllDef dll({"libno-such-driver.so", {FakeCard::folder()}, true});
    try {
        dll.Zan_DO(0, 0);
        FAIL() << "no error";
    } catch (const DriverError& e) {
        EXPECT_EQ(e.kind(), DriverError::Kind::LibraryNotFound);
        EXPECT_NE(std::string(e.what()).find("文件未找到"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("libno-such-driver.so"), std::string::npos);
    }
    EXPECT_FALSE(dll.isLoaded());
    // Nothing is cached from a failed load: the next call tries and fails again.
    EXPECT_THROW(dll.Zan_DO(0, 0), DriverError);
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The start of a library for a word size of 32 or 64, as the loader sees it.
std::string elfHeader(int bits) {
    std::string elf(64, '\0');
    elf.replace(0, 4,
                "\x7f"
                "ELF");
    elf[4] = bits == 32 ? 1 : 2;
    elf[5] = elf[6] = 1;
    return elf;
}
std::string peHeader(int bits) {
    std::string pe(0x200, '\0');
    pe.replace(0, 2, "MZ");
    pe[0x3C] = 0x40;
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    pe[0x58] = 0x0B; // the optional header's magic: 0x10B or 0x20B
    pe[0x59] = bits == 32 ? 1 : 2;
    return pe;
}

constexpr int kOtherWordSize = sizeof(void*) == 8 ? 32 : 64;

// A file beside the program that will not load ends the search with the
// runtime's error 48, its path and why: the copy the system's search would
// find instead is not loaded.
TEST(DllDef, AFileThatWillNotLoadEndsTheSearchSayingWhy) {
#if defined(_WIN32)
    const std::string otherSizeLibrary = peHeader(kOtherWordSize);
#else
    const std::string otherSizeLibrary = elfHeader(kOtherWordSize);
#endif
    struct Case {
        std::string bytes;
        std::string reason; // in the message
    };
    const Case cases[] = {{"not a library", "系统的说明："},
                          {otherSizeLibrary, "该驱动程序是 " + std::to_string(kOtherWordSize) +
                                                 " 位的，本程序是 " +
                                                 std::to_string(driver::kOwnWordSize) + " 位的"}};
    for (const Case& c : cases) {
        TempFolder folder("dio-broken-");
        const std::string name = FakeCard::fileName("");
        writeFile(folder.path() / name, c.bytes);
        DllDef dll({name, {folder.path().string(), FakeCard::folder()}, true});
        try {
            dll.Zan_DI(4, dll.diBuffer.data());
            FAIL() << "no error";
        } catch (const DriverError& e) {
            const std::string message = e.what();
            EXPECT_EQ(e.kind(), DriverError::Kind::LibraryNotLoadable);
            EXPECT_EQ(message.rfind("运行时错误 48：加载 DLL 错误：" +
                                        (folder.path() / name).string() + "\n",
                                    0),
                      0u)
                << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        }
        EXPECT_FALSE(dll.isLoaded());
    }
}

TEST(WordSize, IsReadFromTheLibrarysHeader) {
    std::string peFarOffset = peHeader(32);
    peFarOffset[0x3C] = 0x7F;
    peFarOffset.resize(0x90);
    for (int bits : {32, 64}) {
        EXPECT_EQ(driver::elfWordSize(elfHeader(bits)), bits);
        EXPECT_EQ(driver::peWordSize(peHeader(bits)), bits);
        EXPECT_EQ(driver::peWordSize(peHeader(bits).substr(0, 0x59)), std::nullopt);
    }
    for (const std::string& other : {std::string("\x7f"
                                                 "ELF\x03"),
                                     std::string("MZ"), peFarOffset, elfHeader(32)})
        EXPECT_EQ(driver::peWordSize(other), std::nullopt);
    EXPECT_EQ(driver::elfWordSize("\x7f"
                                  "ELF\x03"),
              std::nullopt);
    EXPECT_EQ(driver::elfWordSize(peHeader(32)), std::nullopt);
    EXPECT_EQ(driver::libraryWordSize(FakeCard::libraryPath("")), driver::kOwnWordSize);
    EXPECT_EQ(driver::libraryWordSize("/no/such/file"), std::nullopt);
}

class MissingEntryPoint : public testing::TestWithParam<std::string> {};

// Each entry point is resolved at its own first call: the others keep working.
TEST_P(MissingEntryPoint, FailsOnlyAtItsOwnCallNamingIt) {
    const std::string missing = GetParam();
    FakeCard fake("no_" + missing);
    DllDef dll(fake.search());
    auto call = [&dll](const std::string& name) {
        if (name == "IOCtl")
            dll.IOCtl(100, dll.boardInfoRequest.data(), 100, dll.boardInfoReply.data());
        else if (name == "Zan_DI")
            dll.Zan_DI(4, dll.diBuffer.data());
        else if (name == "Zan_DOBit")
            dll.Zan_DOBit(0, 1);
        else
            dll.Zan_DO(0, 1);
    };
    for (const std::string name : {"IOCtl", "Zan_DI", "Zan_DOBit", "Zan_DO"}) {
        if (name == missing)
            continue;
        EXPECT_NO_THROW(call(name)) << name;
    }
    try {
        call(missing);
        FAIL() << "no error for " << missing;
    } catch (const DriverError& e) {
        EXPECT_EQ(e.kind(), DriverError::Kind::EntryPointNotFound);
        const std::string message = e.what();
        EXPECT_NE(message.find("入口点 " + missing), std::string::npos) << message;
        EXPECT_NE(message.find(FakeCard::fileName("no_" + missing)), std::string::npos) << message;
    }
    EXPECT_EQ(fake.calls().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(EachOne, MissingEntryPoint,
                         testing::Values("IOCtl", "Zan_DI", "Zan_DOBit", "Zan_DO"));

// A library planted in the current folder must never be loaded, even when the
// system's search is allowed or a folder is given relative to it.
TEST(DllDef, NeverLoadsFromTheCurrentFolder) {
#if defined(_WIN32)
    const std::string planted = "dio-planted.dll";
#else
    const std::string planted = "libdio-planted.so";
#endif
    TempFolder folder("dio-cwd-");
    const fs::path empty = folder.path() / "empty";
    fs::create_directories(empty);
    fs::copy_file(fs::u8path(FakeCard::libraryPath("")), folder.path() / planted);
    const fs::path before = fs::current_path();
    fs::current_path(folder.path());

    DllDef dll({planted, {empty.string()}, true});
    EXPECT_THROW(dll.Zan_DO(0, 0), DriverError);
    DllDef relative({planted, {"."}, false});
    EXPECT_THROW(relative.Zan_DO(0, 0), DriverError);
    // The same file is loaded from its absolute folder: the refusals above are the search's.
    DllDef absolute({planted, {folder.path().string()}, false});
    EXPECT_NO_THROW(absolute.Zan_DO(0, 0));

    fs::current_path(before);
}

TEST(DllDef, CardDriverIsLookedForBesideTheExecutableFirst) {
    const driver::LibrarySearch search = driver::LibrarySearch::cardDriver();
    ASSERT_EQ(search.folders.size(), 1u);
    EXPECT_EQ(search.folders[0], driver::executableDirectory());
    EXPECT_TRUE(search.systemSearch);
#if defined(_WIN32)
    EXPECT_EQ(search.fileName, "adcard.dll");
#else
    EXPECT_EQ(search.fileName, "libadcard.so");
#endif
}

} // namespace
