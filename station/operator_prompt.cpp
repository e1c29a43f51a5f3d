#include "operator_prompt.h"

#include "convert/printable.h"

#include <QInputDialog>

namespace station {

std::string askOperator(const std::string& given, QWidget* parent) {
    QString prompt = QStringLiteral("操作员：");
    for (;;) {
        bool typed = false;
        std::string name =
            QInputDialog::getText(parent, QStringLiteral("测试台"), prompt, QLineEdit::Normal,
                                  QString::fromStdString(given), &typed)
                .trimmed()
                .toStdString();
        if (!typed || name.empty())
            return given;
        if (!convert::hasControl(name))
            return name;
        prompt = QStringLiteral("“%1”里有控制字符，请重新输入操作员：")
                     .arg(QString::fromStdString(convert::printable(name, false)));
    }
}

} // namespace station
