#include "card.h"

#include "driver/card_shape.h"
#include "driver/dlldef.h"
#include "rules/board_info.h"

namespace cli {

long Card::checked(long result, const std::string& call) {
    ++calls_;
    if (result < 0) {
        const std::optional<std::string> why = dll_.lastError();
        throw DriverCallFailed("驱动程序调用失败：" + call + " 返回 " + std::to_string(result) +
                               (why && !why->empty() ? "（" + *why + "）" : ""));
    }
    return result;
}

std::string Card::boardCaption() {
    checked(dll_.askBoardInfo(), "IOCtl(100, 板卡信息)");
    return rules::boardCaptionOf(dll_.boardInfoReply.data());
}

std::vector<std::int16_t> Card::readWords(int count) {
    auto& words = dll_.diBuffer;
    checked(dll_.Zan_DI(static_cast<std::int16_t>(count), words.data()),
            "Zan_DI(" + std::to_string(count) + ")");
    return {words.begin(), words.begin() + count};
}

void Card::requireInputWords(int count, const std::string& asking) {
    const std::optional<int> has = dll_.inputWords();
    if (has && count > *has)
        throw UsageError(asking + "要读 " + std::to_string(count) + " 个输入字，板卡只有 " +
                         std::to_string(*has) + " 个");
}

void Card::requireOutputChannel(int channel, const std::string& asking) {
    const std::optional<int> has = dll_.inputWords();
    if (has && channel > *has * card::kLinesPerGroup)
        throw UsageError(asking + "通道 " + std::to_string(channel) + " 超出板卡的 " +
                         std::to_string(*has * card::kLinesPerGroup) + " 条线");
}

void Card::writeBit(int channel, int value) {
    checked(
        dll_.Zan_DOBit(static_cast<std::int16_t>(channel - 1), static_cast<std::int16_t>(value)),
        "Zan_DOBit(" + std::to_string(channel - 1) + ", " + std::to_string(value) + ")");
}

void Card::writeByte(int group, int byte) {
    dll_.doBuffer[0] = static_cast<std::int16_t>(byte);
    checked(dll_.Zan_DO(static_cast<std::int16_t>(group), dll_.doBuffer[0]),
            "Zan_DO(" + std::to_string(group) + ", " + std::to_string(byte) + ")");
}

bool Card::explainsFailures() {
    return dll_.lastError().has_value();
}

std::string Card::id() {
    return dll_.cardId().value_or("");
}

std::string Card::driverPath() const {
    return dll_.libraryPath();
}

std::string Card::description() {
    return dll_.description();
}

} // namespace cli
