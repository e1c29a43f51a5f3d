#pragma once

#include "driver/adcard_abi.h"
#include "driver/library_search.h"
#include "driver/shared_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace driver {

// The card driver binding. The library is loaded at the first call of any
// entry point and each entry point is resolved at its own first call; both are
// kept until the object goes. A library that is not found, one found that will
// not load (which ends the search), or a missing entry point throws DriverError
// from that call.
class DllDef {
public:
    explicit DllDef(LibrarySearch search = LibrarySearch::cardDriver());
    ~DllDef();
    DllDef(const DllDef&) = delete;
    DllDef& operator=(const DllDef&) = delete;

    std::int32_t IOCtl(std::int32_t requestCode, std::uint8_t* request, std::int32_t replyCode,
                       std::uint8_t* reply);
    std::int16_t Zan_DI(std::int16_t count, std::int16_t* words);
    std::int16_t Zan_DOBit(std::int16_t bitIndex, std::int16_t bitValue);
    std::int16_t Zan_DO(std::int16_t group, std::int16_t byteValue);

    // How many input words Zan_DI can fill, where the driver is one of this
    // project's and says so (AdcardInputWords); none for the card's own
    // driver, whose limits are not known.
    std::optional<int> inputWords();
    // Why the last call that answered a negative result failed, where the
    // driver is one of this project's and says (AdcardLastError); none for
    // the card's own driver.
    std::optional<std::string> lastError();
    // Which card the driver reaches, where it is one of this project's and
    // says (AdcardCardId); none for the card's own driver: the one card.
    std::optional<std::string> cardId();
    // The device the driver reaches as the system names it, where it is one
    // of this project's and says (AdcardDescription); "" where it does not.
    std::string description();

    // The board-info query: the request's three bytes into the request buffer,
    // IOCtl, the answer in the reply buffer. Returns IOCtl's result.
    std::int32_t askBoardInfo();

    const LibrarySearch& search() const { return search_; }
    bool isLoaded() const { return library_ != nullptr; }
    // Where the library was loaded from; empty before the first call.
    std::string libraryPath() const { return library_ ? library_->path() : std::string(); }

    // The buffers handed to the driver, zero-filled, living as long as the
    // binding: a driver may keep a buffer's address beyond the call.
    std::array<std::uint8_t, 32001> boardInfoRequest{};
    std::array<std::uint8_t, 32001> boardInfoReply{};
    std::array<std::int16_t, 33> diBuffer{};
    std::array<std::int16_t, 33> doBuffer{};

private:
    SharedLibrary& library();
    template <typename Fn> Fn entry(Fn& slot, const char* exportedName);

    LibrarySearch search_;
    std::unique_ptr<SharedLibrary> library_;
    AdcardIOCtlFn ioctl_ = nullptr;
    AdcardZan_DIFn zanDI_ = nullptr;
    AdcardZan_DOBitFn zanDOBit_ = nullptr;
    AdcardZan_DOFn zanDO_ = nullptr;
};

} // namespace driver
