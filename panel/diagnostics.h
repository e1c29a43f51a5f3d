#pragma once

#include <QLoggingCategory>

namespace panel {

// Off by default; QT_LOGGING_RULES="dio.panel.info=true" shows which driver
// file was loaded and what the card answered, for checking an installation.
Q_DECLARE_LOGGING_CATEGORY(lcPanel)

} // namespace panel
