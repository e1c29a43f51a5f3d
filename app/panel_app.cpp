#include "panel_app.h"

#include "driver/dlldef.h"
#include "panel/diagnostics.h"
#include "panel/frm_multibuf.h"
#include "panel/layout_table.h"

#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

#include <utility>

// The embedded translation, in a static library: its resources are registered
// by name, outside any namespace.
static void registerQtTranslation() {
    Q_INIT_RESOURCE(qt_translation);
}

namespace app {
namespace {

// Qt's own texts in the panel's language, once per application.
void speakChinese() {
    if (QCoreApplication::instance()->findChild<QTranslator*>("qtbase_zh_CN"))
        return;
    registerQtTranslation();
    auto* translator = new QTranslator(QCoreApplication::instance());
    translator->setObjectName("qtbase_zh_CN");
    if (translator->load(QStringLiteral(":/translations/qtbase_zh_CN.qm")))
        QCoreApplication::installTranslator(translator);
    else
        qCWarning(panel::lcPanel) << "Qt's Chinese translation did not load";
}

void showBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QString::fromUtf8(panel::kWindowCaption), text, QMessageBox::Ok);
    // Messages quote what the user typed and paths: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

panel::PanelMessages messageBoxes() {
    return {[](const QString& text) { showBox(QMessageBox::Critical, text); },
            [](const QString& text) { showBox(QMessageBox::Warning, text); }};
}

int runPanel(driver::DllDef& dll, panel::PanelMessages messages) {
    speakChinese();
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
