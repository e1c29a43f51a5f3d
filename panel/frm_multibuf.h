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

    driver::DllDef& dll_;
    PanelMessages messages_;
    bool failed_ = false;

    Controls ui; // made once by the builder
    QTimer* TimerAD = nullptr;
};

} // namespace panel
