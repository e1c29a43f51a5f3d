#include "qt_translation.h"

#include <QCoreApplication>
#include <QTranslator>

#include <memory>

// The embedded translation, in a static library: its resources are registered
// by name, outside any namespace.
static void registerQtTranslation() {
    Q_INIT_RESOURCE(qt_translation);
}

namespace gui {

bool speakChinese() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application->findChild<QTranslator*>("qtbase_zh_CN"))
        return true;
    registerQtTranslation();
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/translations/qtbase_zh_CN.qm")))
        return false;
    translator->setObjectName("qtbase_zh_CN");
    translator->setParent(application);
    QCoreApplication::installTranslator(translator.release()); // owned by the application
    return true;
}

} // namespace gui
