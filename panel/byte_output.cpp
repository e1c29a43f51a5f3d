#include "byte_output.h"

#include "convert/narrow.h"
#include "convert/val.h"
#include "driver/dlldef.h"
#include "panel/frm_multibuf.h"
#include "panel/text_boxes.h"

#include <QString>

namespace panel {
namespace {

constexpr int kQuotedCharacters = 40;

} // namespace

std::optional<std::int16_t> groupFromText(std::string_view text) {
    const double group = convert::RoundHalfEven(convert::Val(text));
    if (!(group >= -32768.0 && group <= 32767.0))
        return std::nullopt;
    return convert::ToInteger(group);
}

std::int16_t byteFromHexText(std::string_view text) {
    // "&H" with up to eight digits, or more (low 32 bits kept), is always a Long.
    const std::int32_t value = convert::ToLong(convert::Val("&H" + std::string(text)));
    return static_cast<std::int16_t>(value & 255);
}

std::string groupRefusedMessage(std::string_view text) {
    QString quoted = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    if (quoted.size() > kQuotedCharacters)
        quoted = quoted.left(kQuotedCharacters) + QString::fromUtf8("…");
    return "通道组“" + quoted.toStdString() + "”超出范围（-32768 到 32767），未输出。";
}

void FrmMultiBuf::cmdSWO_Click() {
    const std::string groupText = textOf(txtswChn);
    const std::optional<std::int16_t> group = groupFromText(groupText);
    if (!group) {
        if (messages_.warning)
            messages_.warning(QString::fromStdString(groupRefusedMessage(groupText)));
        return;
    }
    dll_.doBuffer[0] = byteFromHexText(textOf(txtSWO_0));
    dll_.Zan_DO(*group, dll_.doBuffer[0]);
}

} // namespace panel
