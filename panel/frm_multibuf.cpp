#include "frm_multibuf.h"

#include "convert/format.h"
#include "driver/dlldef.h"
#include "panel/caption_label.h"
#include "panel/diagnostics.h"
#include "panel/fonts.h"
#include "panel/layout_table.h"
#include "panel/text_boxes.h"
#include "panel/updown_spinner.h"
#include "panel/window_builder.h"
#include "rules/bit_output.h"
#include "rules/board_info.h"
#include "rules/byte_output.h"
#include "rules/input_captions.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace panel {

FrmMultiBuf::FrmMultiBuf(driver::DllDef& dll, PanelMessages messages, QWidget* parent)
    : QWidget(parent), dll_(dll), messages_(std::move(messages)) {
    setObjectName("FrmMultiBuf");
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    setFont(panelFont());
    setFixedSize(pixelsFromTwips(this, 0, 0, kClientWidthTwips, kClientHeightTwips).size());
    ui = buildFromLayout(this);

    ui.lblDI->setFont(inputDisplayFont());
    ui.lblDI->growToCaption();
    // The input captions repaint five times a second. Inside Frame2, where no
    // line runs beneath them, they paint their own background (the frame's
    // inside is the window's colour), which spares the frame and the captions
    // they overlap a repaint. lblDI does not: with a fallback font taller than
    // the designed one it reaches across Frame2's top line, which must show
    // through. Stacked above the frame, its digits stay in view.
    for (CaptionLabel* label : {ui.lblDI_0, ui.lblBit, ui.lblDI_1})
        label->setAutoFillBackground(true);
    ui.lblDI->raise();
    ui.cmdSWO->setFocus();

    TimerAD = new QTimer(this);
    TimerAD->setObjectName("TimerAD");
    TimerAD->setInterval(kTimerIntervalMs);
    connectHandlers();
    TimerAD->start();
}

void FrmMultiBuf::connectHandlers() {
    auto on = [this](Handler handler) { return [this, handler] { dispatch(handler); }; };
    connect(TimerAD, &QTimer::timeout, this, on(&FrmMultiBuf::TimerAD_Timer));
    connect(ui.txtDOChn, &QLineEdit::textChanged, this, on(&FrmMultiBuf::txtDOChn_Change));
    connect(ui.UpDownBitNum, &UpDownSpinner::valueChanged, this,
            on(&FrmMultiBuf::UpDownBitNum_Change));
    connect(ui.cmdDOOutput, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdDOOutput_Click));
    connect(ui.cmdSWO, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdSWO_Click));
    connect(ui.cmdExit, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdExit_Click));
    ui.txtDOValue->installEventFilter(this);
}

bool FrmMultiBuf::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui.txtDOValue && event->type() == QEvent::MouseButtonDblClick)
        dispatch(&FrmMultiBuf::txtDOValue_DblClick);
    return QWidget::eventFilter(watched, event);
}

bool FrmMultiBuf::load() {
    return dispatch(&FrmMultiBuf::Form_Load);
}

bool FrmMultiBuf::dispatch(Handler handler) {
    if (failed_)
        return false;
    QString error;
    try {
        (this->*handler)();
        return !failed_;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QString::fromUtf8("未知错误");
    }
    // Nothing runs after an error: the program is about to end.
    failed_ = true;
    TimerAD->stop();
    if (messages_.error)
        messages_.error(error);
    return false;
}

// The eight handlers: each reads its controls, calls the driver, and applies
// the rule between the two. The driver's buffers are the binding's.

bool FrmMultiBuf::failedCall(long result, const QString& call) {
    const std::optional<std::string> why =
        result < 0 ? dll_.lastError() : std::optional<std::string>();
    const QString fault =
        why ? QString::fromStdString(why->empty() ? "驱动程序调用失败" : *why) : QString();
    if (fault == callFault_ || (result < 0 && !why))
        return result < 0 && why.has_value();
    callFault_ = fault;
    setWindowTitle(QString::fromUtf8(kWindowCaption) + (fault.isEmpty() ? "" : " — " + fault));
    if (fault.isEmpty())
        qCWarning(lcPanel).noquote() << call << "succeeded again";
    else
        qCWarning(lcPanel).noquote() << call << "failed:" << fault;
    return !fault.isEmpty();
}

void FrmMultiBuf::Form_Load() {
    // The result is not examined, nor narrowed, but for a driver that says why
    // it failed: an odd value must not end the program.
    failedCall(dll_.askBoardInfo(), "IOCtl(100)");
    const QString caption =
        QString::fromStdString(rules::boardCaptionOf(dll_.boardInfoReply.data()));
    ui.lblInfo->setCaption(caption);
    qCInfo(lcPanel).noquote() << "driver:" << QString::fromStdString(dll_.libraryPath())
                              << "board:" << caption;
}

void FrmMultiBuf::TimerAD_Timer() {
    if (ui.chkDI->checkState() == Qt::Unchecked)
        return;
    auto& words = dll_.diBuffer;
    // A dead link shows as such, never as inputs that stopped changing.
    if (failedCall(dll_.Zan_DI(rules::kInputWordCount, words.data()), "Zan_DI"))
        return;
    const rules::InputCaptions captions =
        rules::inputCaptions({words[0], words[1], words[2], words[3]});
    const QString shown = QString::fromStdString(captions.words);
    if (shown != ui.lblDI->text()) // what the window shows, for whoever checks it from outside
        qCInfo(lcPanel).noquote() << "inputs:" << shown;
    ui.lblDI->setCaption(shown);
    ui.lblDI_0->setCaption(QString::fromStdString(captions.word0));
    ui.lblBit->setCaption(QString::fromStdString(captions.header));
    ui.lblDI_1->setCaption(QString::fromStdString(captions.word1));
}

void FrmMultiBuf::txtDOChn_Change() {
    const int channel = rules::channelFromText(textOf(ui.txtDOChn));
    ui.UpDownBitNum->setValue(channel);
    setBoxText(ui.txtDOChn, convert::Str(channel));
}

void FrmMultiBuf::UpDownBitNum_Change() {
    setBoxText(ui.txtDOChn, convert::Str(ui.UpDownBitNum->value()));
}

void FrmMultiBuf::txtDOValue_DblClick() {
    setBoxText(ui.txtDOValue, rules::toggledBitText(textOf(ui.txtDOValue)));
}

void FrmMultiBuf::cmdDOOutput_Click() {
    const int value = rules::bitValueFromText(textOf(ui.txtDOValue));
    // The box shows the value actually sent.
    setBoxText(ui.txtDOValue, convert::Str(value));
    const int channel = rules::channelFromText(textOf(ui.txtDOChn));
    failedCall(
        dll_.Zan_DOBit(static_cast<std::int16_t>(channel - 1), static_cast<std::int16_t>(value)),
        QString("Zan_DOBit: channel %1 = %2 did not reach the card").arg(channel).arg(value));
}

void FrmMultiBuf::cmdSWO_Click() {
    const std::string groupText = textOf(ui.txtswChn);
    const std::optional<std::int16_t> group = rules::groupFromText(groupText);
    if (!group) {
        if (messages_.warning)
            messages_.warning(QString::fromStdString(rules::groupRefusedMessage(groupText)));
        return;
    }
    // The DO buffer's element 0 holds the last byte sent.
    dll_.doBuffer[0] = rules::byteFromHexText(textOf(ui.txtSWO_0));
    failedCall(dll_.Zan_DO(*group, dll_.doBuffer[0]),
               QString("Zan_DO: group %1 = 0x%2 did not reach the card")
                   .arg(*group)
                   .arg(dll_.doBuffer[0] & 255, 2, 16, QChar('0')));
}

void FrmMultiBuf::cmdExit_Click() {
    close();
}

} // namespace panel
