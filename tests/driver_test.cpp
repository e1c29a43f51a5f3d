#include "driver/dlldef.h"
#include "driver/driver_error.h"
#include "driver/library_header.h"
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
    std::string at(const std::string& name = "") const {
        return (name.empty() ? path : path / name).string();
    }
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
        .replace(0x58, 3, {0x0B, char(bits / 32), 14}); // and the linker's version
}

// A DLL of 32 or 64 bits importing `names`: a code section at 0x1000 (file
// 0x200), then the import section at 0x2000 (file 0x300), so that an address
// read as an offset, or through the wrong section, finds nothing.
std::string dllImporting(int bits, const std::vector<std::string>& names) {
    std::string image = header(true, bits);
    auto put = [&image](std::size_t at, std::uint32_t value, int bytes = 4) {
        for (int i = 0; i < bytes; ++i)
            image[at + i] = char(value >> 8 * i);
    };
    const std::size_t optional = 0x58, optionalSize = bits == 32 ? 0xE0 : 0xF0;
    const std::size_t table = optional + optionalSize;
    put(0x46, 2, 2);                                  // sections
    put(0x54, optionalSize, 2);                       // the optional header's size
    put(0x56, bits == 32 ? 0x2102 : 0x2022, 2);       // a DLL, as linkers mark one
    put(optional + (bits == 32 ? 104 : 120), 0x2000); // where the imports are
    for (std::uint32_t s : {0u, 1u}) {
        put(table + 40 * s + 12, 0x1000 * (s + 1));  // address
        put(table + 40 * s + 16, 0x100);             // size in the file
        put(table + 40 * s + 20, 0x200 + 0x100 * s); // offset in the file
    }
    image.resize(0x400, '\0');
    std::size_t name = 0x300 + 20 * (names.size() + 1); // after the descriptors and their end
    for (std::size_t i = 0; i < names.size(); ++i) {
        put(0x300 + 20 * i + 12, static_cast<std::uint32_t>(0x2000 + name - 0x300));
        image.replace(name, names[i].size() + 1, names[i] + std::string(1, '\0'));
        name += names[i].size() + 1;
    }
    return image;
}

std::string fileBytes(const std::string& path) {
    return (std::ostringstream() << std::ifstream(fs::u8path(path), std::ios::binary).rdbuf())
        .str();
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
    EXPECT_EQ(dll.boardInfoReply[4], 3);
    EXPECT_EQ(dll.diBuffer[1], -32767);
    EXPECT_EQ(dll.diBuffer[4], 99);
    EXPECT_EQ(fake.log(),
              "IOCtl(100,0,0,0,-1)\nZan_DI(4)\nZan_DOBit(-1,32767)\nZan_DO(-32768,255)\n");
}

// Where the search looks, what it loads, and the runtime's error when it
// cannot: 53 when nothing is found, saying where it looked; 48 for a file that
// is there but will not load, which ends the search; 453 for a missing entry
// point, at its own first call. Nothing is kept after an error, so the next
// call looks again. Files are written into the current folder, which is only
// ever searched by full path.
TEST(DllDef, FindsTheLibraryByFullPathOnly) {
    TempFolder cwd, empty;
    const std::string name = FakeCard::fileName(""), planted = cwd.at(name);
    const std::string library = fileBytes(FakeCard::path("")), fakes = FAKE_DRIVER_FOLDER;
    const int own = driver::kOwnWordSize, other = 96 - own;
    const std::string missing = "运行时错误 53：文件未找到：",
                      unloadable = "运行时错误 48：加载 DLL 错误：";
    const std::string sizes = "该驱动程序是 " + std::to_string(other) + " 位的，本程序是 " +
                              std::to_string(own) + " 位的，须用 " + std::to_string(own) +
                              " 位的驱动程序。\n";
    const std::string why = "\n系统的说明：", relative = (fs::path(".") / name).string();
    const std::string gone = kWindows ? "gone.dll" : "gone.so";
    const fs::path before = fs::current_path();
    fs::current_path(cwd.path);
    struct Row {
        const char* what;
        LibrarySearch search;
        std::string written; // into the current folder
        std::string error;   // as it starts, or whole where it ends in "$"
        std::string loaded;
    };
    // clang-format off
    const Row rows[] = {
        {"nothing found: error 53 with every folder", {"none", {cwd.at()}, {empty.at()}, {}}, "",
         missing + "none\n已查找：" + cwd.at() + "、" + empty.at() + "$", ""},
        {"the card driver in one folder", LibrarySearch::cardDriverIn(cwd.at()), "",
         missing + (kWindows ? "adcard.dll" : "libadcard.so") + "\n已查找：" + cwd.at() + "$", ""},
        {"a library in the current folder is not found from elsewhere", {name, {empty.at()}, {}, {}}, library,
         missing + name + "\n已查找：" + empty.at() + "$", ""},
        {"a relative folder is refused", {name, {"."}, {}, {}}, library,
         unloadable + relative + why + relative + ": not an absolute path$", ""},
        {"by full path it loads", {name, {cwd.at()}, {}, {}}, library, "$", planted},
        {"a file that is no library ends the search", {name, {cwd.at(), fakes}, {}, {}}, "not a library",
         unloadable + planted + why, ""},
        {"a library of the other word size ends the search", {name, {cwd.at(), fakes}, {}, {}}, header(kWindows, other),
         unloadable + planted + "\n" + sizes + "系统的说明：", ""},
        {"in a system folder it is passed over", {name, {}, {cwd.at(), fakes}, {}}, header(kWindows, other),
         "$", FakeCard::path("")},
        {"passed over and nothing else: said so", {name, {}, {cwd.at()}, {}}, header(kWindows, other),
         missing + name + "\n已查找：" + cwd.at() + "\n另一字长的，未用：" + planted + "（本程序是 " + std::to_string(own) + " 位的）$", ""},
        {"a library it needs is missing", {FakeCard::fileName("needs_gone"), {fakes}, {}, {}}, "",
         unloadable + FakeCard::path("needs_gone") + "\n该驱动程序所需的库未找到：" + gone + why, ""},
        {"an entry point is missing", {FakeCard::fileName("no_Zan_DO"), {fakes}, {}, {}}, "",
         "运行时错误 453：在 " + FakeCard::path("no_Zan_DO") + " 中找不到 DLL 入口点 " + adcard::Zan_DOName + "$",
         FakeCard::path("no_Zan_DO")}};
    // clang-format on
    for (const Row& row : rows) {
        std::ofstream(planted, std::ios::binary) << row.written;
        DllDef dll(row.search);
        for (int call = 0; call < 2; ++call) {
            std::string message;
            try {
                dll.Zan_DO(0, 0);
            } catch (const driver::DriverError& e) {
                message = e.what();
            }
            EXPECT_EQ((message + "$").substr(0, row.error.size()), row.error) << row.what;
        }
        EXPECT_EQ(dll.libraryPath(), row.loaded) << row.what;
    }
    fs::current_path(before);
}

// Search path entries the loader would read against the current folder are
// skipped and noted; "$ORIGIN" is the executable's folder.
TEST(LibrarySearch, TakesAbsoluteFoldersOnly) {
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"", {}},
        {":", {}},
        {"/usr/lib:", {"/usr/lib"}},
        {".", {}},
        {"x", {}},
        {"../x", {}},
        {"/a::/b", {"/a", "/b"}},
        {"$ORIGIN/../lib:$LIB", {"/opt/app/lib"}}};
    for (const auto& [list, absolute] : rows) {
        std::vector<std::string> folders, skipped;
        driver::addSearchPath(list, "/opt/app/bin", "LD_LIBRARY_PATH", folders, skipped);
        EXPECT_EQ(folders, absolute) << list;
        const std::string text = list;
        EXPECT_EQ(folders.size() + skipped.size(), std::count(text.begin(), text.end(), ':') + 1u)
            << list;
    }
}

// The loader's configuration: comments, blank lines, and include lines with
// wildcards, relative to the including file, followed in name order.
TEST(LibrarySearch, ReadsTheLoadersConfiguration) {
    TempFolder etc;
    fs::create_directories(etc.path / "conf.d");
    std::ofstream(etc.path / "ld.so.conf")
        << "# comment\n/first\ninclude conf.d/*.conf\n\n  /last  \n";
    std::ofstream(etc.path / "conf.d" / "b.conf") << "/b # after\n";
    std::ofstream(etc.path / "conf.d" / "a.conf") << "/a\n";
    std::ofstream(etc.path / "conf.d" / "c.txt") << "/not\n";
    EXPECT_EQ(driver::loaderConfigFolders(etc.at("ld.so.conf")),
              std::vector<std::string>({"/first", "/a", "/b", "/last"}));
    EXPECT_TRUE(driver::loaderConfigFolders(etc.at("none")).empty());
}

// The other format's header, and headers cut short or pointing past their end.
TEST(LibraryHeader, TellsTheWordSizeFromItsOwnFormatOnly) {
    std::string farOffset = header(true, 32).substr(0, 0x90);
    farOffset[0x3C] = 0x7F;
    const std::pair<std::string, std::optional<int>> pe[] = {
        {header(true, 32), 32}, {header(true, 64), 64},  {header(true, 64).substr(0, 0x59), {}},
        {farOffset, {}},        {header(false, 64), {}}, {"MZ", {}}};
    for (const auto& [bytes, size] : pe)
        EXPECT_EQ(driver::peWordSize(bytes), size);
    const std::pair<std::string, std::optional<int>> elf[] = {{header(false, 32), 32},
                                                              {header(false, 64), 64},
                                                              {header(true, 32), {}},
                                                              {"\x7f"
                                                               "ELF\x01",
                                                               32},
                                                              {"\x7f"
                                                               "ELF\x03",
                                                               {}}};
    for (const auto& [bytes, size] : elf)
        EXPECT_EQ(driver::elfWordSize(bytes), size);
}

// What a DLL imports, read to name the one missing; a file cut anywhere gives
// the names it still holds whole, never a piece of one.
TEST(LibraryHeader, NamesWhatADllImports) {
    const std::vector<std::string> names{"gone.dll", "KERNEL32.dll"};
    EXPECT_EQ(driver::peImportedLibraries(dllImporting(32, names)), names);
    EXPECT_EQ(driver::peImportedLibraries(dllImporting(64, names)), names);
    const std::string image = dllImporting(32, names);
    for (std::size_t size = 0; size < image.size(); ++size) {
        const auto found = driver::peImportedLibraries(image.substr(0, size));
        ASSERT_LE(found.size(), names.size()) << size;
        EXPECT_TRUE(std::equal(found.begin(), found.end(), names.begin())) << size;
    }
}

} // namespace
