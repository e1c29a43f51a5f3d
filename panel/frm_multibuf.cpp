#include "frm_multibuf.h"

#include "panel/accessibility.h"
#include "panel/caption_label.h"
#include "panel/fonts.h"
#include "panel/layout_table.h"
#include "panel/updown_spinner.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

namespace panel {
namespace {

int px(int twips) {
    return qRound(static_cast<double>(twips) / kTwipsPerPixel);
}

QWidget* createControl(const ControlLayout& row, QWidget* parent) {
    const QString caption = QString::fromUtf8(row.caption);
    switch (row.kind) {
    case ControlKind::Label:
        return new CaptionLabel(caption, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(caption, parent);
    case ControlKind::TextBox: {
        auto* box = new QLineEdit(caption, parent);
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(caption, parent);
    case ControlKind::Spinner:
        return new UpDownSpinner(kChannelMin, kChannelMax, kChannelMin, parent);
    }
    throw std::logic_error("unknown control kind");
}

bool takesFocus(ControlKind kind) {
    return kind != ControlKind::Label && kind != ControlKind::GroupBox;
}

template <typename T> T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromUtf8(name));
    if (!found)
        throw std::logic_error(std::string("control missing from the layout: ") + name);
    return found;
}

} // namespace

FrmMultiBuf::FrmMultiBuf(driver::DllDef& dll, PanelMessages messages, QWidget* parent)
    : QWidget(parent), dll_(dll), messages_(std::move(messages)) {
    setObjectName("FrmMultiBuf");
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    setFont(panelFont());
    setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));
    buildControls();

    TimerAD = new QTimer(this);
    TimerAD->setObjectName("TimerAD");
    TimerAD->setInterval(kTimerIntervalMs);
    connectHandlers();
    TimerAD->start();
}

void FrmMultiBuf::buildControls() {
    QHash<QString, QWidget*> containers;
    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const ControlLayout& row : kLayout) {
        QWidget* parent = row.container ? containers.value(QString::fromUtf8(row.container))
                                        : static_cast<QWidget*>(this);
        if (!parent)
            throw std::logic_error(std::string("container listed after its controls: ") +
                                   row.container);
        QWidget* widget = createControl(row, parent);
        widget->setObjectName(QString::fromUtf8(row.name));
        if (row.index >= 0)
            widget->setProperty("index", row.index);
        widget->setProperty("tabIndex", row.tabIndex);
        widget->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
        if (row.kind == ControlKind::Label)
            static_cast<CaptionLabel*>(widget)->growToCaption();
        if (row.kind == ControlKind::GroupBox)
            containers.insert(widget->objectName(), widget);
        if (takesFocus(row.kind))
            focusOrder.emplace_back(row.tabIndex, widget);
    }
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);

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
    // The input captions repaint five times a second: painting their own
    // background spares the group box and neighbours beneath them a repaint.
    for (CaptionLabel* label : {lblDI, lblDI_0, lblBit, lblDI_1})
        label->setAutoFillBackground(true);
    // A fallback font taller than the designed one makes lblDI reach into the
    // top of Frame2 (blank there); stacked above it, its repaint leaves the group box be.
    lblDI->raise();
    nameForScreenReaders(this);
    cmdSWO->setFocus();
}

void FrmMultiBuf::connectHandlers() {
    auto on = [this](Handler handler) { return [this, handler] { dispatch(handler); }; };
    connect(TimerAD, &QTimer::timeout, this, on(&FrmMultiBuf::TimerAD_Timer));
    connect(txtDOChn, &QLineEdit::textChanged, this, on(&FrmMultiBuf::txtDOChn_Change));
    connect(UpDownBitNum, &UpDownSpinner::changed, this, on(&FrmMultiBuf::UpDownBitNum_Change));
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

void FrmMultiBuf::cmdExit_Click() {
    close();
}

} // namespace panel
