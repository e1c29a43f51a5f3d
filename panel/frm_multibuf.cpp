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
#include <stdexcept>
#include <string>
#include <utility>

namespace panel {
namespace {

template <typename T> T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromUtf8(name));
    if (!found)
        throw std::logic_error(std::string("control missing from the layout: ") + name);
    return found;
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

FrmMultiBuf::FrmMultiBuf(driver::DllDef& dll, PanelMessages messages, QWidget* parent)
    : QWidget(parent), dll_(dll), messages_(std::move(messages)) {
    setObjectName("FrmMultiBuf");
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    setFont(panelFont());
    setFixedSize(pixelsFromTwips(this, 0, 0, kClientWidthTwips, kClientHeightTwips).size());
    buildFromLayout(this);

    lblInfo = control<CaptionLabel>(this, "lblInfo");
    lblDI = control<CaptionLabel>(this, "lblDI");
    lblDI_0 = control<CaptionLabel>(this, "lblDI_0");
    lblDI_1 = control<CaptionLabel>(this, "lblDI_1");
    lblBit = control<CaptionLabel>(this, "lblBit");
    chkDI = control<QCheckBox>(this, "chkDI");
    txtDOChn = control<QLineEdit>(this, "txtDOChn");
    txtDOValue = control<QLineEdit>(this, "txtDOValue");
    txtswChn = control<QLineEdit>(this, "txtswChn");
    txtSWO_0 = control<QLineEdit>(this, "txtSWO_0");
    UpDownBitNum = control<UpDownSpinner>(this, "UpDownBitNum");
    cmdDOOutput = control<QPushButton>(this, "cmdDOOutput");
    cmdSWO = control<QPushButton>(this, "cmdSWO");
    cmdExit = control<QPushButton>(this, "cmdExit");

    lblDI->setFont(inputDisplayFont());
    lblDI->growToCaption();
    // The input captions repaint five times a second. Inside Frame2, where no
    // line runs beneath them, they paint their own background (the frame's
    // inside is the window's colour), which spares the frame and the captions
    // they overlap a repaint. lblDI does not: with a fallback font taller than
    // the designed one it reaches across Frame2's top line, which must show
    // through. Stacked above the frame, its digits stay in view.
    for (CaptionLabel* label : {lblDI_0, lblBit, lblDI_1})
        label->setAutoFillBackground(true);
    lblDI->raise();
    cmdSWO->setFocus();

    TimerAD = new QTimer(this);
    TimerAD->setObjectName("TimerAD");
    TimerAD->setInterval(kTimerIntervalMs);
    connectHandlers();
    TimerAD->start();
}

void FrmMultiBuf::connectHandlers() {
    auto on = [this](Handler handler) { return [this, handler] { dispatch(handler); }; };
    connect(TimerAD, &QTimer::timeout, this, on(&FrmMultiBuf::TimerAD_Timer));
    connect(txtDOChn, &QLineEdit::textChanged, this, on(&FrmMultiBuf::txtDOChn_Change));
    connect(UpDownBitNum, &UpDownSpinner::valueChanged, this,
            on(&FrmMultiBuf::UpDownBitNum_Change));
    connect(cmdDOOutput, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdDOOutput_Click));
    connect(cmdSWO, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdSWO_Click));
    connect(cmdExit, &QPushButton::clicked, this, on(&FrmMultiBuf::cmdExit_Click));
    txtDOValue->installEventFilter(this);
}

bool FrmMultiBuf::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtDOValue && event->type() == QEvent::MouseButtonDblClick)
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

// The eight handlers: each reads its controls, applies the rule, writes the
// controls and calls the driver.

void FrmMultiBuf::Form_Load() {
    const QString caption = fromStd(rules::readBoardInfo(dll_));
    lblInfo->setCaption(caption);
    qCInfo(lcPanel).noquote() << "driver:" << fromStd(dll_.libraryPath()) << "board:" << caption;
}

void FrmMultiBuf::TimerAD_Timer() {
    if (chkDI->checkState() == Qt::Unchecked)
        return;
    const rules::InputCaptions captions = rules::readInputs(dll_);
    lblDI->setCaption(fromStd(captions.words));
    lblDI_0->setCaption(fromStd(captions.word0));
    lblBit->setCaption(fromStd(captions.header));
    lblDI_1->setCaption(fromStd(captions.word1));
}

void FrmMultiBuf::txtDOChn_Change() {
    const int channel = rules::channelFromText(textOf(txtDOChn));
    UpDownBitNum->setValue(channel);
    setBoxText(txtDOChn, convert::Str(channel));
}

void FrmMultiBuf::UpDownBitNum_Change() {
    setBoxText(txtDOChn, convert::Str(UpDownBitNum->value()));
}

void FrmMultiBuf::txtDOValue_DblClick() {
    setBoxText(txtDOValue, rules::toggledBitText(textOf(txtDOValue)));
}

void FrmMultiBuf::cmdDOOutput_Click() {
    const int value = rules::bitValueFromText(textOf(txtDOValue));
    // The box shows the value actually sent.
    setBoxText(txtDOValue, convert::Str(value));
    const int channel = rules::channelFromText(textOf(txtDOChn));
    dll_.Zan_DOBit(static_cast<std::int16_t>(channel - 1), static_cast<std::int16_t>(value));
}

void FrmMultiBuf::cmdSWO_Click() {
    const std::string groupText = textOf(txtswChn);
    const std::optional<std::int16_t> group = rules::groupFromText(groupText);
    if (!group) {
        if (messages_.warning)
            messages_.warning(fromStd(rules::groupRefusedMessage(groupText)));
        return;
    }
    dll_.doBuffer[0] = rules::byteFromHexText(textOf(txtSWO_0));
    dll_.Zan_DO(*group, dll_.doBuffer[0]);
}

void FrmMultiBuf::cmdExit_Click() {
    close();
}

} // namespace panel
