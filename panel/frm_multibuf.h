#pragma once

#include "panel/controls.h"
#include "panel/panel_messages.h"

#include <QWidget>

class QTimer;

namespace driver {
class DllDef;
}

namespace panel {

// The panel's one window. Its controls come from the layout table; its eight
// handlers are plain procedures named after their control and event, each run
// through `dispatch`, the one place where errors are caught and reported.
class FrmMultiBuf : public QWidget {
    Q_OBJECT
public:
    FrmMultiBuf(driver::DllDef& dll, PanelMessages messages, QWidget* parent = nullptr);

    // Runs Form_Load; false if it failed (the error has been reported).
    bool load();

    // Runs a handler; an error it raises is reported, the timer stops and no
    // handler runs again. Returns false if the handler (or an earlier one) failed.
    using Handler = void (FrmMultiBuf::*)();
    bool dispatch(Handler handler);

    void Form_Load();
    void TimerAD_Timer();
    void txtDOChn_Change();
    void UpDownBitNum_Change();
    void txtDOValue_DblClick();
    void cmdDOOutput_Click();
    void cmdSWO_Click();
    void cmdExit_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectHandlers();
    // Whether a call failed by the word of a driver that says why (one of this
    // project's: a Modbus link that dropped, say); then the title says so, and
    // the log, once a change, until a call succeeds. With the card's own
    // driver, whose results mean nothing known, always false.
    bool failedCall(long result, const QString& call);

    driver::DllDef& dll_;
    PanelMessages messages_;
    bool failed_ = false;
    QString callFault_; // what the title adds, or empty

    Controls ui; // made once by the builder
    QTimer* TimerAD = nullptr;
};

} // namespace panel
