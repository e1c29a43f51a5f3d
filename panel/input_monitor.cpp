#include "input_monitor.h"

#include "convert/format.h"
#include "driver/dlldef.h"
#include "panel/caption_label.h"
#include "panel/frm_multibuf.h"

#include <QCheckBox>

namespace panel {
namespace {

constexpr const char* kGap = "   ";

std::string bitNumberHeader() {
    std::string header;
    for (int i = 7; i >= 0; --i)
        header += kGap + convert::Hex(static_cast<std::int16_t>(i));
    return header;
}

std::string wordCaption(std::int16_t word) {
    return convert::Hex(word) + kGap + bitRow(word);
}

} // namespace

std::string bitRow(std::int16_t word) {
    std::string row;
    for (int i = 7; i >= 0; --i)
        row += std::string(kGap) + ((word & (1 << i)) == 0 ? "0" : "1");
    return row;
}

InputCaptions inputCaptions(const std::array<std::int16_t, kInputWordCount>& w) {
    static const std::string header = "         " + bitNumberHeader();
    return {convert::Hex(w[0]) + "-" + convert::Hex(w[1]) + "-" + convert::Hex(w[2]) + "-" +
                convert::Hex(w[3]),
            wordCaption(w[0]), header, wordCaption(w[1])};
}

void FrmMultiBuf::TimerAD_Timer() {
    if (chkDI->checkState() == Qt::Unchecked)
        return;
    dll_.Zan_DI(kInputWordCount, dll_.diBuffer.data());
    const std::array<std::int16_t, kInputWordCount> words = {dll_.diBuffer[0], dll_.diBuffer[1],
                                                             dll_.diBuffer[2], dll_.diBuffer[3]};
    const InputCaptions captions = inputCaptions(words);
    lblDI->setCaption(QString::fromStdString(captions.words));
    lblDI_0->setCaption(QString::fromStdString(captions.word0));
    lblBit->setCaption(QString::fromStdString(captions.header));
    lblDI_1->setCaption(QString::fromStdString(captions.word1));
}

} // namespace panel
