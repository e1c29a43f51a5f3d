#include "panel_app.h"

#include "driver/dlldef.h"
#include "gui/message_box.h"
#include "gui/qt_translation.h"
#include "panel/diagnostics.h"
#include "panel/frm_multibuf.h"
#include "panel/layout_table.h"

#include <QApplication>

#include <utility>

namespace app {
namespace {

void showBox(QMessageBox::Icon icon, const QString& text) {
    gui::plainTextBox(icon, QString::fromUtf8(panel::kWindowCaption), text);
}

} // namespace

panel::PanelMessages messageBoxes() {
    return {[](const QString& text) { showBox(QMessageBox::Critical, text); },
            [](const QString& text) { showBox(QMessageBox::Warning, text); }};
}

int runPanel(driver::DllDef& dll, panel::PanelMessages messages) {
    if (!gui::speakChinese())
        qCWarning(panel::lcPanel) << "Qt's Chinese translation did not load";
    auto report = std::move(messages.error);
    messages.error = [report](const QString& text) {
        // Also where a terminal, a log or a test harness can read it.
        qCCritical(panel::lcPanel).noquote() << text;
        if (report)
            report(text);
        // An error ends the program; before the event loop runs this is a no-op
        // and the failed load below returns the status instead.
        QCoreApplication::exit(1);
    };
    for (const std::string& note : dll.search().skipped)
        qCInfo(panel::lcPanel).noquote() << "search:" << QString::fromStdString(note);
    panel::FrmMultiBuf window(dll, std::move(messages));
    if (!window.load())
        return 1;
    window.show();
    return QApplication::exec();
}

} // namespace app
