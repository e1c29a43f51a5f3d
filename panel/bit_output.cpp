#include "bit_output.h"

#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/val.h"
#include "driver/dlldef.h"
#include "panel/frm_multibuf.h"
#include "panel/layout_table.h"
#include "panel/text_boxes.h"
#include "panel/updown_spinner.h"

#include <algorithm>

namespace panel {

int channelFromText(std::string_view text) {
    const double channel = std::clamp(convert::RoundHalfEven(convert::Val(text)),
                                      double{kChannelMin}, double{kChannelMax});
    return convert::ToInteger(channel);
}

int bitValueFromText(std::string_view text) {
    return convert::RoundHalfEven(convert::Val(text)) == 0 ? 0 : 1;
}

std::string toggledBitText(std::string_view text) {
    return convert::Str(convert::Val(text) == 0 ? 1 : 0);
}

void FrmMultiBuf::txtDOChn_Change() {
    const int channel = channelFromText(textOf(txtDOChn));
    UpDownBitNum->setValue(channel);
    setBoxText(txtDOChn, convert::Str(channel));
}

void FrmMultiBuf::UpDownBitNum_Change() {
    setBoxText(txtDOChn, convert::Str(UpDownBitNum->value()));
}

void FrmMultiBuf::txtDOValue_DblClick() {
    setBoxText(txtDOValue, toggledBitText(textOf(txtDOValue)));
}

void FrmMultiBuf::cmdDOOutput_Click() {
    const int value = bitValueFromText(textOf(txtDOValue));
    // The box shows the value actually sent.
    setBoxText(txtDOValue, convert::Str(value));
    const int channel = channelFromText(textOf(txtDOChn));
    dll_.Zan_DOBit(static_cast<std::int16_t>(channel - 1), static_cast<std::int16_t>(value));
}

} // namespace panel
