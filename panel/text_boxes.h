#pragma once

#include <QLineEdit>

#include <string>

namespace panel {

// The text of a box as the conversions read it (UTF-8).
inline std::string textOf(const QLineEdit* box) {
    return box->text().toStdString();
}

// Sets a box's text only when it differs: an unchanged text raises no change
// event, which is what ends the exchange between the channel box and the spinner.
inline void setBoxText(QLineEdit* box, const std::string& text) {
    const QString next = QString::fromStdString(text);
    if (box->text() != next)
        box->setText(next);
}

} // namespace panel
