#pragma once

#include <QMessageBox>

namespace gui {

// A modal box with one OK button, its text shown as it is: messages quote
// what a person typed and paths, never to be read as markup.
void plainTextBox(QMessageBox::Icon icon, const QString& title, const QString& text);

} // namespace gui
